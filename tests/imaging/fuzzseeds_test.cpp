// SPDX-License-Identifier: GPL-3.0-or-later
// Runs every seed of the fuzz corpus through the fuzz targets' work, so that the ordinary build
// (and the AddressSanitizer build) covers the inputs the fuzzers start from and the crashes
// they found.

#include "fuzzdecode.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(FuzzSeedsTest, EverySeedDecodesConsistently) {
    const QDir corpus(qEnvironmentVariable("PELORA_TEST_SOURCE_DIR") + "/fuzz/corpus");
    const struct {
        const char* folder;
        imaging::ImageFormat format;
    } folders[] = {{"jpeg", imaging::ImageFormat::Jpeg},
                   {"png", imaging::ImageFormat::Png},
                   {"tiff", imaging::ImageFormat::Tiff},
                   {"bmp", imaging::ImageFormat::Bmp}};
    for (const auto& folder : folders) {
        const QDir dir(corpus.filePath(QString::fromLatin1(folder.folder)));
        const QStringList seeds = dir.entryList(QDir::Files);
        EXPECT_FALSE(seeds.isEmpty()) << folder.folder;
        for (const QString& seed : seeds) {
            QFile file(dir.filePath(seed));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            const QByteArray bytes = file.readAll();
            EXPECT_TRUE(fuzzing::decodeEveryWay(
                folder.format, reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                static_cast<std::size_t>(bytes.size())))
                << folder.folder << '/' << seed.toStdString();
        }
    }
}

} // namespace
