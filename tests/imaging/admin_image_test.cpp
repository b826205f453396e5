// SPDX-License-Identifier: GPL-3.0-or-later
// pelorafile-admin image-info and image-convert, run as support staff and scripts run them:
// the printed facts and the exit codes that tell the failures apart.

#include "imagetestutil.h"
#include "imaging/timageio.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct AdminRun {
    int exitCode = -1;
    QString out;
    QString err;
};

AdminRun admin(const QStringList& arguments) {
    QProcess process;
    process.start(QStringLiteral(PELORA_ADMIN_EXECUTABLE), arguments);
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

class AdminImageTest : public testing::Test {
protected:
    void SetUp() override {
        QImage page = testutil::monoPage(61, 47);
        TImageIO io;
        io.BindBitmap(&page);
        io.Params().dpiX = io.Params().dpiY = 300;
        io.Params().tiffCompression = TiffCompression::G4;
        io.SaveImageFile(path(QStringLiteral("page.tif")));
        testutil::writeFile(path(QStringLiteral("broken.png")), "\x89PNG\r\n\x1a\n broken");
        QDir(m_dir.path()).mkdir(QStringLiteral("folder.jpg"));
    }
    QString path(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

TEST_F(AdminImageTest, InfoPrintsWhatALoadGives) {
    const AdminRun run = admin({QStringLiteral("image-info"), path(QStringLiteral("page.tif"))});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    for (const char* line : {"format: TIFF", "width: 61", "height: 47", "bits per pixel: 1",
                             "resolution: 300 x 300 dpi", "TIFF compression: G4"}) {
        EXPECT_TRUE(run.out.contains(QString::fromLatin1(line) + u'\n')) << line;
    }
}

TEST_F(AdminImageTest, ExitCodesTellTheFailuresApart) {
    const struct {
        QStringList arguments;
        int exitCode;
        const char* said;
    } cases[] = {
        {{QStringLiteral("image-info"), path(QStringLiteral("broken.png"))}, 1, "load failed"},
        {{QStringLiteral("image-info"), path(QStringLiteral("scan.dcm"))}, 1, "load failed"},
        {{QStringLiteral("image-info"), path(QStringLiteral("missing.jpg"))}, 2, "cannot open"},
        {{QStringLiteral("image-info"), path(QStringLiteral("folder.jpg"))}, 2, "cannot open"},
        {{QStringLiteral("image-info")}, 64, "usage"},
        {{QStringLiteral("image-convert"), path(QStringLiteral("page.tif")),
          path(QStringLiteral("page.dcm"))},
         1,
         "save failed"},
        {{QStringLiteral("image-convert"), path(QStringLiteral("page.tif")),
          path(QStringLiteral("missing/page.png"))},
         2,
         "cannot create"},
        {{QStringLiteral("image-convert"), path(QStringLiteral("missing.tif")),
          path(QStringLiteral("page.png"))},
         2,
         "cannot open"},
    };
    for (const auto& c : cases) {
        const AdminRun run = admin(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.join(u' ').toStdString();
        EXPECT_TRUE(run.err.contains(QString::fromLatin1(c.said))) << run.err.toStdString();
    }
}

TEST_F(AdminImageTest, ConvertKeepsSizeAndResolution) {
    const QString target = path(QStringLiteral("page.png"));
    const AdminRun run =
        admin({QStringLiteral("image-convert"), path(QStringLiteral("page.tif")), target});
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    QImage converted;
    TImageIO io;
    io.BindBitmap(&converted);
    io.LoadImageFile(target);
    ASSERT_FALSE(io.IoFailed());
    EXPECT_EQ(converted.size(), QSize(61, 47));
    EXPECT_EQ(converted.format(), QImage::Format_Mono);
    EXPECT_EQ(io.Params().dpiX, 300);
}

} // namespace
