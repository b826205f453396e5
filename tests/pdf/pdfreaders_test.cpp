// SPDX-License-Identifier: GPL-3.0-or-later
// Outside readers judge every PDF that pdf_writer wrote: qpdf --check and pdfinfo must accept
// each file, and the two-page chart must render with pdftoppm to its two pictures.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct CommandResult {
    int status = -1;
    std::string output; // stdout and stderr
};

CommandResult RunCommand(const std::string& command) {
    CommandResult run;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) {
        return run;
    }
    std::array<char, 4096> buffer{};
    size_t read = 0;
    while ((read = fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
        run.output.append(buffer.data(), read);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

std::string Quoted(const fs::path& path) {
    return "'" + path.string() + "'";
}

void RequireTool(const char* tool, const char* package) {
    ASSERT_EQ(RunCommand(std::string("command -v ") + tool).status, 0)
        << tool << " is missing: install the Debian package " << package
        << " (scripts/test installs it)";
}

std::vector<fs::path> WrittenPdfs() {
    std::vector<fs::path> files;
    if (fs::is_directory(PELORA_PDF_WRITTEN)) {
        for (const auto& entry : fs::directory_iterator(PELORA_PDF_WRITTEN)) {
            if (entry.path().extension() == ".pdf") {
                files.push_back(entry.path());
            }
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

TEST(Readers, QpdfAndPdfinfoAcceptEveryWrittenFile) {
    RequireTool("qpdf", "qpdf");
    RequireTool("pdfinfo", "poppler-utils");
    const auto files = WrittenPdfs();
    ASSERT_GE(files.size(), 5u) << "pdf_writer wrote no documents into " << PELORA_PDF_WRITTEN
                                << "; run it first (ctest runs it before this test)";
    for (const auto& file : files) {
        SCOPED_TRACE(file.filename().string());
        const CommandResult check = RunCommand("qpdf --check " + Quoted(file));
        EXPECT_EQ(check.status, 0) << check.output;
        EXPECT_NE(check.output.find("No syntax or stream encoding errors found"), std::string::npos)
            << check.output;
        const CommandResult info = RunCommand("pdfinfo " + Quoted(file));
        EXPECT_EQ(info.status, 0) << info.output;
        EXPECT_EQ(info.output.find("Error"), std::string::npos) << info.output;
        EXPECT_EQ(info.output.find("Warning"), std::string::npos) << info.output;
    }
}

struct Pixel {
    int red, green, blue;
};

/// A binary PPM (P6, maxval 255) as pdftoppm writes it.
class Ppm {
public:
    explicit Ppm(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::string magic;
        int maxval = 0;
        in >> magic >> m_width >> m_height >> maxval;
        in.get();
        m_bytes.resize(static_cast<size_t>(m_width) * static_cast<size_t>(m_height) * 3);
        in.read(m_bytes.data(), static_cast<std::streamsize>(m_bytes.size()));
        m_valid = in && magic == "P6" && maxval == 255;
    }
    bool Valid() const { return m_valid; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    Pixel At(int x, int y) const {
        const size_t at =
            (static_cast<size_t>(y) * static_cast<size_t>(m_width) + static_cast<size_t>(x)) * 3;
        return Pixel{static_cast<unsigned char>(m_bytes[at]),
                     static_cast<unsigned char>(m_bytes[at + 1]),
                     static_cast<unsigned char>(m_bytes[at + 2])};
    }

private:
    int m_width = 0;
    int m_height = 0;
    std::string m_bytes;
    bool m_valid = false;
};

void ExpectNear(const Pixel& got, const Pixel& expected, const char* what) {
    const int tolerance = 40; // JPEG and rendering blur the colours a little
    EXPECT_NEAR(got.red, expected.red, tolerance) << what;
    EXPECT_NEAR(got.green, expected.green, tolerance) << what;
    EXPECT_NEAR(got.blue, expected.blue, tolerance) << what;
}

TEST(Readers, TwoPageChartRendersItsPictures) {
    RequireTool("pdftoppm", "poppler-utils");
    const fs::path chart = fs::path(PELORA_PDF_WRITTEN) / "two-pages-note-bookmark.pdf";
    ASSERT_TRUE(fs::exists(chart)) << chart << " was not written";
    const fs::path rendered = fs::path(PELORA_PDF_WRITTEN).parent_path() / "pdf-rendered";
    fs::remove_all(rendered);
    fs::create_directories(rendered);
    // At 72 dpi one point is one pixel: the pages are 700 x 1000 and each 64 x 48 picture
    // sits 33 pixels right of and below the top-left corner.
    const CommandResult run =
        RunCommand("pdftoppm -r 72 " + Quoted(chart) + " " + Quoted(rendered / "page"));
    ASSERT_EQ(run.status, 0) << run.output;

    const Ppm first(rendered / "page-1.ppm");
    const Ppm second(rendered / "page-2.ppm");
    ASSERT_TRUE(first.Valid());
    ASSERT_TRUE(second.Valid());
    EXPECT_EQ(first.Width(), 700);
    EXPECT_EQ(first.Height(), 1000);
    ExpectNear(first.At(49, 57), {0xD0, 0, 0}, "page 1, left half red");
    ExpectNear(first.At(81, 57), {0, 0, 0xD0}, "page 1, right half blue");
    ExpectNear(first.At(20, 20), {255, 255, 255}, "page 1, margin white");
    ExpectNear(first.At(120, 57), {255, 255, 255}, "page 1, right of the picture white");
    ExpectNear(second.At(65, 42), {0, 0xA0, 0}, "page 2, top half green");
    ExpectNear(second.At(65, 72), {0xE0, 0xE0, 0}, "page 2, bottom half yellow");
    ExpectNear(second.At(65, 90), {255, 255, 255}, "page 2, below the picture white");
}

} // namespace
