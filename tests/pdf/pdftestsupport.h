// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Shared helpers of the PDF writer's tests: fixtures, the pinned clock, golden files, and the
// folder into which every written document goes so that pdf_readers can check it.

#include "pdf/pdfpictures.h"
#include "pdf/pdftypes.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

namespace pdftest {

std::filesystem::path DataDir();
/// Every PDF a test writes lands here; the folder is emptied when pdf_writer starts.
std::filesystem::path WrittenDir();

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, std::string_view bytes);

/// A JPEG fixture of tests/pdf/data with its size in pixels.
TPdfJpegPicture JpegFixture(const std::string& name, int width, int height);

/// 5 March 2024, 14:30:09.
TPdfDateTime PinnedTime();
TPdfClock PinnedClock();

/// The bytes WriteTo produces for \p object.
std::string Written(TPdfObject& object);
/// The bytes WriteDefinition produces for an indirect \p object.
std::string Definition(TPdfObject& object);

/// Expects \p call to throw \p Error with exactly \p message.
template <class Error> void ExpectError(const std::function<void()>& call, const char* message) {
    try {
        call();
        ADD_FAILURE() << "no error, expected: " << message;
    } catch (const Error& e) {
        EXPECT_STREQ(e.what(), message);
    }
}

/// Keeps a document made in memory among the written files.
void KeepWritten(const std::string& fileName, std::string_view bytes);

/// Compares \p actual with the golden file \p name of tests/pdf/data; with PELORA_UPDATE_GOLDEN
/// set, writes the golden file instead.
void ExpectGolden(const std::string& name, const std::string& actual);

} // namespace pdftest
