// SPDX-License-Identifier: GPL-3.0-or-later
// Runs every seed of the text parsers' fuzz corpora through the fuzz targets' checks, so that
// the ordinary build (and the sanitizer build) covers the inputs the fuzzers start from and the
// crashes they found.

#include "fuzztext.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(PlatformFuzzSeeds, EverySeedParsesConsistently) {
    const QDir corpus(qEnvironmentVariable("PELORA_TEST_SOURCE_DIR") + "/fuzz/corpus");
    const struct {
        const char* folder;
        QString (*check)(const std::uint8_t*, std::size_t);
    } parsers[] = {{"registry", fuzzing::checkRegistryFile}, {"listfile", fuzzing::checkListFile}};
    for (const auto& parser : parsers) {
        const QDir dir(corpus.filePath(QString::fromLatin1(parser.folder)));
        const QStringList seeds = dir.entryList(QDir::Files);
        EXPECT_FALSE(seeds.isEmpty()) << "no seeds in " << dir.path().toStdString();
        for (const QString& seed : seeds) {
            QFile file(dir.filePath(seed));
            ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
            const QByteArray bytes = file.readAll();
            const QString problem =
                parser.check(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                             static_cast<std::size_t>(bytes.size()));
            EXPECT_TRUE(problem.isEmpty())
                << parser.folder << '/' << seed.toStdString() << ": " << problem.toStdString();
        }
    }
}

} // namespace
