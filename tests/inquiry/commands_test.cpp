// SPDX-License-Identifier: GPL-3.0-or-later
// pelorafile-admin search and lookup as a script runs them: real processes, their lines on
// standard output and their exit codes.

#include "index/chartindex.h"
#include "platform/registryfile.h"
#include "serverenvironment.h"
#include "settings/tregistory.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct AdminRun {
    int exitCode = -1;
    QString out;
    QString err;
};

AdminRun admin(const QStringList& arguments, const QString& configHome = {}) {
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!configHome.isEmpty()) {
        environment.insert("XDG_CONFIG_HOME", configHome);
    }
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(PELORA_BIN_DIR "/pelorafile-admin"), arguments);
    EXPECT_TRUE(process.waitForFinished(60000));
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

class SearchCommandTest : public BackendTest {};

TEST_P(SearchCommandTest, PrintsTheMatchingRowsOneLineEachInTheGridsOrder) {
    createIndex();
    ChartIndex index([] { return QDateTime(QDate(2026, 12, 10), QTime(9, 30, 15, 250)); });
    ASSERT_TRUE(index.open(m_testbed->folder())) << index.lastError().toStdString();
    ASSERT_TRUE(index.insertChart({12, 3, "/arch/12_003.pdf", {"胃カメラ", "2026", "", "x"}}));
    ASSERT_TRUE(
        index.insertChart({13, 0, "/arch/13.pdf", {"胃\tカメラ", "a\\b", "line\nbreak", ""}}));
    ASSERT_TRUE(index.insertChart({14, 0, "/arch/14.pdf", {"CT", "", "", ""}}));
    const QString folder = m_testbed->folder();

    AdminRun found = admin({"--program-folder", folder, "search", "--key1", "胃カメラ"});
    EXPECT_EQ(found.exitCode, 0) << found.err.toStdString();
    EXPECT_EQ(found.out, "12\t3\t2026-12-10 09:30:15.250\t/arch/12_003.pdf\t胃カメラ\t2026\t\tx\n");

    AdminRun escaped = admin({"--program-folder", folder, "search", "--key2", "\\"});
    EXPECT_EQ(
        escaped.out,
        "13\t0\t2026-12-10 09:30:15.250\t/arch/13.pdf\t胃\\tカメラ\ta\\\\b\tline\\nbreak\t\n");

    struct Case {
        const char* what;
        QStringList arguments;
        int exitCode;
        QString err;
    };
    const std::vector<Case> cases{
        {"keys joined by and", {"--key1", "CT", "--key4", "x"}, 1, "該当なし。\n"},
        {"a double quote is only a character", {"--key3", "\""}, 1, "該当なし。\n"},
        {"no text", {"--key2", ""}, 64, "検索のキーを設定してください。\n"},
        {"no key at all", {}, 64, "検索のキーを設定してください。\n"},
        {"an unknown option", {"--key5", "x"}, 64, ""},
        {"a key without its text", {"--key1"}, 64, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        AdminRun run = admin(QStringList{"--program-folder", folder, "search"} + c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out, "");
        if (!c.err.isEmpty()) {
            EXPECT_EQ(run.err, c.err);
        }
    }
    QTemporaryDir noIndex;
    EXPECT_EQ(admin({"--program-folder", noIndex.path(), "search", "--key1", "x"}).exitCode, 2);
}

INSTANTIATE_TEST_SUITE_P(Backends, SearchCommandTest,
                         ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName);

TEST(LookupCommand, PrintsThePatientFoldersFilesAndRefusesWhatTheWindowRefuses) {
    QTemporaryDir home;
    const QString base = home.filePath("archive");
    TRegistory settings;
    settings.Target = base;
    RegistryFile registry;
    settings.SaveToRegistry(registry);
    ASSERT_TRUE(QDir().mkpath(home.filePath("Tovani")));
    ASSERT_TRUE(registry.save(home.filePath("Tovani/registry.reg")));
    const QString folder = base + "/99/99/99/99";
    ASSERT_TRUE(QDir().mkpath(folder + "/sub"));
    for (const char* name : {"b.pdf", "a.pdf"}) {
        QFile file(QDir(folder).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    AdminRun listed = admin({"lookup", "99999999"}, home.path());
    EXPECT_EQ(listed.exitCode, 0) << listed.err.toStdString();
    EXPECT_EQ(listed.out, folder + "/a.pdf\n" + folder + "/b.pdf\n");

    ASSERT_TRUE(QDir().mkpath(base + "/00/00/00/05"));
    EXPECT_EQ(admin({"lookup", "5"}, home.path()).out, "");
    for (const char* refused : {"0", "100000000", "-1", "12a", "5 "}) {
        SCOPED_TRACE(refused);
        AdminRun run = admin({"lookup", refused}, home.path());
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.err.startsWith("患者番号エラー"));
    }
    AdminRun missing = admin({"lookup", "6"}, home.path());
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.startsWith("接続エラー"));
    QTemporaryDir nowhere;
    EXPECT_EQ(admin({"lookup", "5"}, nowhere.path()).exitCode, 3);
}

} // namespace
