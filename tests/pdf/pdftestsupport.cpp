// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdftestsupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace pdftest {

std::filesystem::path DataDir() {
    return PELORA_PDF_TEST_DATA;
}

std::filesystem::path WrittenDir() {
    return PELORA_PDF_WRITTEN;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        ADD_FAILURE() << "cannot read " << path;
        return {};
    }
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        ADD_FAILURE() << "cannot write " << path;
    }
}

TPdfJpegPicture JpegFixture(const std::string& name, int width, int height) {
    const std::string bytes = ReadFile(DataDir() / name);
    return TPdfJpegPicture{std::vector<unsigned char>(bytes.begin(), bytes.end()), width, height};
}

TPdfDateTime PinnedTime() {
    return TPdfDateTime{2024, 3, 5, 14, 30, 9};
}

TPdfClock PinnedClock() {
    return [] { return PinnedTime(); };
}

std::string Written(TPdfObject& object) {
    TPdfMemoryOutput out;
    object.WriteTo(out);
    return out.bytes();
}

std::string Definition(TPdfObject& object) {
    TPdfMemoryOutput out;
    object.WriteDefinition(out);
    return out.bytes();
}

void KeepWritten(const std::string& fileName, std::string_view bytes) {
    WriteFile(WrittenDir() / fileName, bytes);
}

void ExpectGolden(const std::string& name, const std::string& actual) {
    const auto path = DataDir() / name;
    if (std::getenv("PELORA_UPDATE_GOLDEN")) {
        WriteFile(path, actual);
        return;
    }
    const std::string expected = ReadFile(path);
    if (expected == actual) {
        return;
    }
    size_t at = 0;
    while (at < expected.size() && at < actual.size() && expected[at] == actual[at]) {
        ++at;
    }
    const size_t from = at < 40 ? 0 : at - 40;
    ADD_FAILURE() << name << " differs from byte " << at << " (golden " << expected.size()
                  << " bytes, written " << actual.size()
                  << ")\n golden: " << testing::PrintToString(expected.substr(from, 80))
                  << "\nwritten: " << testing::PrintToString(actual.substr(from, 80));
}

namespace {

/// Empties the folder of written documents before the tests run, so that pdf_readers checks
/// exactly what this run wrote.
class WrittenDirEnvironment : public testing::Environment {
public:
    void SetUp() override {
        std::filesystem::remove_all(WrittenDir());
        std::filesystem::create_directories(WrittenDir());
    }
};

const auto* const kEnvironment = testing::AddGlobalTestEnvironment(new WrittenDirEnvironment);

} // namespace

} // namespace pdftest
