// SPDX-License-Identifier: GPL-3.0-or-later
// pelorafile-admin check-existence and check-registration, run as a cron job runs them.

#include "maintenancetesting.h"
#include "platform/sha256.h"
#include "settings/settingsfile.h"
#include "settings/tregistory.h"

#include <QProcessEnvironment>

namespace {

struct Result {
    int exitCode = -1;
    QStringList lines; ///< standard output, one entry a line
    QString errors;
};

} // namespace

class AdminCheckTest : public MaintenanceTest {
protected:
    Result admin(const QStringList& arguments) {
        QProcess process;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", m_config.path());
        process.setProcessEnvironment(environment);
        process.start(QStringLiteral(PELORA_BIN_DIR "/pelorafile-admin"),
                      QStringList{"--program-folder", m_testbed->folder()} + arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        Result result;
        result.exitCode = process.exitCode();
        result.lines =
            QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        result.errors = QString::fromUtf8(process.readAllStandardError());
        return result;
    }

    /// The settings file the commands read, with \p target as the archive base folder.
    void writeSettings(const QString& target) {
        TRegistory settings;
        settings.Target = target;
        QString error;
        ASSERT_TRUE(SettingsFile(m_config.filePath("Tovani/registry.reg")).save(settings, &error))
            << error.toStdString();
    }

    QTemporaryDir m_config;
};

TEST_P(AdminCheckTest, CheckExistencePrintsTheMissingPaths) {
    const QString present = makeFile("00/00/00/01/HP_1_0.pdf");
    const QString gone = archivePath("00/00/00/01/HP_1_1.pdf");
    const QString folder = archivePath("00/00/00/02/HP_2_0.pdf");
    QDir().mkpath(folder);
    addRow(1, present);
    addRow(1, gone);
    addRow(2, folder);

    Result found = admin({"check-existence", "1", "99999999"});
    EXPECT_EQ(found.exitCode, 1) << found.errors.toStdString();
    EXPECT_EQ(found.lines, (QStringList{gone, folder}));
    Result none = admin({"check-existence", "1", "1"});
    EXPECT_EQ(none.lines, QStringList{gone});
    makeFile("00/00/00/01/HP_1_1.pdf");
    none = admin({"check-existence", "1", "1"});
    EXPECT_EQ(none.exitCode, 0) << none.errors.toStdString();
    EXPECT_TRUE(none.lines.isEmpty());

    for (const QStringList& bad :
         {QStringList{"0", "5"}, QStringList{"5", "4"}, QStringList{"1", "100000000"},
          QStringList{"x", "5"}, QStringList{"5"}}) {
        EXPECT_EQ(admin(QStringList{"check-existence"} + bad).exitCode, 64)
            << bad.join(' ').toStdString();
    }
    QFile::remove(m_testbed->folder() + "/" + chartindex::fileName);
    QFile::remove(m_testbed->folder() + "/" + chartindex::confFileName);
    EXPECT_EQ(admin({"check-existence", "1", "5"}).exitCode, 2);
}

TEST_P(AdminCheckTest, CheckRegistrationPrintsTheFilesWithoutARow) {
    addRow(1, makeFile("00/00/00/01/HP_1_0.pdf"));
    const QString unregistered = makeFile("00/00/00/01/HP_1_1.pdf");
    const QString sibling = m_archive.path() + "2";
    QDir().mkpath(sibling);

    EXPECT_EQ(admin({"check-registration", m_archive.path()}).exitCode, 5); // no settings yet
    writeSettings(m_archive.path());
    Result found = admin({"check-registration", m_archive.path()});
    EXPECT_EQ(found.exitCode, 1) << found.errors.toStdString();
    EXPECT_EQ(found.lines, QStringList{unregistered});
    addRow(1, unregistered);
    Result none = admin({"check-registration", archivePath("00/00")});
    EXPECT_EQ(none.exitCode, 0) << none.errors.toStdString();
    EXPECT_TRUE(none.lines.isEmpty());

    for (const QString& outside :
         {sibling, QFileInfo(m_archive.path()).absolutePath(), archivePath("no/such/folder")}) {
        EXPECT_EQ(admin({"check-registration", outside}).exitCode, 3) << outside.toStdString();
    }
    EXPECT_EQ(admin({"check-registration"}).exitCode, 64);
    QDir(sibling).removeRecursively();
}

TEST_P(AdminCheckTest, CheckRegistrationKeepsOneFileALineAndStaysInsideTheArchive) {
    writeSettings(m_archive.path());
    // A name holding a line break would read as two paths, the second naming another file.
    const QString broken = makeFile("00/00/00/01/a\nPeloraFileDB.db");
    Result found = admin({"check-registration", m_archive.path()});
    EXPECT_EQ(found.exitCode, 1) << found.errors.toStdString();
    EXPECT_EQ(found.lines, QStringList{archivePath("00/00/00/01/a\\nPeloraFileDB.db")});
    QFile::remove(broken);

    // A folder inside the archive that is a link to one outside it is refused.
    QTemporaryDir outside;
    QFile(outside.filePath("secret.txt")).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(outside.path(), archivePath("elsewhere")));
    Result refused = admin({"check-registration", archivePath("elsewhere")});
    EXPECT_EQ(refused.exitCode, 3) << refused.errors.toStdString();
    EXPECT_TRUE(refused.lines.isEmpty());
    // The walk of the archive does not follow it either.
    Result whole = admin({"check-registration", m_archive.path()});
    EXPECT_EQ(whole.exitCode, 0) << whole.lines.join('\n').toStdString();
}

TEST_P(AdminCheckTest, VerifyAndAuditCheckFindAChartRewrittenWithItsHash) {
    // A chart and its stored hash rewritten together match each other; only the trail tells.
    const QByteArray bytes = "%PDF-1.2 chart";
    const QString chart = makeFile("00/00/00/03/HP_3_0.pdf", bytes);
    Sha256 hash;
    hash.add(bytes.constData(), std::size_t(bytes.size()));
    ASSERT_TRUE(m_index.insertChart({3, 0, chart, {}, hash.hexDigest()}));
    EXPECT_EQ(admin({"verify"}).exitCode, 0);
    EXPECT_EQ(admin({"audit", "--check"}).exitCode, 0);
    {
        QFile file(chart);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("%PDF-1.2 forged");
    }
    Sha256 forged;
    forged.add("%PDF-1.2 forged", 15);
    m_testbed->exec(QStringLiteral("UPDATE ChartHash SET Sha256 = '%1'")
                        .arg(QString::fromLatin1(forged.hexDigest())));
    Result verified = admin({"verify"});
    EXPECT_EQ(verified.exitCode, 1);
    EXPECT_TRUE(verified.lines.join('\n').contains("trail")) << verified.errors.toStdString();
    EXPECT_EQ(admin({"audit", "--check"}).exitCode, 1);
    for (const QStringList& bad : {QStringList{"0", "0"}, QStringList{"-5", "-1"},
                                   QStringList{"1", "100000000"}, QStringList{"5", "4"}}) {
        EXPECT_EQ(admin(QStringList{"verify"} + bad).exitCode, 64) << bad.join(' ').toStdString();
    }
}

PELORA_INSTANTIATE_BACKENDS(AdminCheckTest);
