// SPDX-License-Identifier: GPL-3.0-or-later
// PeloraFileDB.conf moves the index to a server: what a conf file may hold, and what the
// program does when the server refuses it, is down, or drops the connection.

#include "index/chartindex.h"
#include "index/indexlocation.h"
#include "serverenvironment.h"

#include <QDir>
#include <QFile>

namespace {

const QString GoodConf = QStringLiteral("[index]\ndriver=postgresql\nhost=127.0.0.1\nport="
                                        "5432\ndatabase=pelorafile\nuser=pelorafile\n");

TEST(IndexConf, TheFileOfTheReadmeSelectsTheServer) {
    QString error;
    const auto address = chartindex::parseConf(GoodConf, "conf", &error);
    ASSERT_TRUE(address) << error.toStdString();
    EXPECT_EQ(address->host, "127.0.0.1");
    EXPECT_EQ(address->port, 5432);
    EXPECT_EQ(address->database, "pelorafile");
    EXPECT_EQ(address->user, "pelorafile");
    // Comments, blank lines, spaces round the = and Windows line ends are fine.
    const auto relaxed = chartindex::parseConf(
        "; shared index\r\n\r\n[index]\r\ndriver = postgresql\r\nhost=db.clinic\r\nport=6543\r\n"
        "database=charts\r\nuser=scan\r\n",
        "conf", &error);
    ASSERT_TRUE(relaxed) << error.toStdString();
    EXPECT_EQ(relaxed->host, "db.clinic");
    EXPECT_EQ(relaxed->port, 6543);
}

struct BadConf {
    const char* what;
    QString text;
    const char* reason;
};

TEST(IndexConf, AConfItCannotUseIsRefusedWithTheReason) {
    auto without = [](const char* line) { return QString(GoodConf).remove(line); };
    const std::vector<BadConf> cases{
        {"another driver", QString(GoodConf).replace("postgresql", "mysql"),
         "unsupported driver mysql"},
        {"no driver", without("driver=postgresql\n"), "the key driver is missing"},
        {"no user", without("user=pelorafile\n"), "the key user is missing"},
        {"no section", without("[index]\n"), "line 1: key outside the section [index]"},
        {"another section", QString(GoodConf).replace("[index]", "[database]"),
         "line 1: unknown section [database]"},
        {"not key=value", GoodConf + "garbage\n", "line 7: expected key=value"},
        {"unclosed header", "[index\n", "line 1: a section header must end with ]"},
        {"a password", GoodConf + "password=secret\n", "the password does not belong in this file"},
        {"a typo", GoodConf + "databse=x\n", "line 7: unknown key databse"},
        {"a key twice", GoodConf + "host=other\n", "line 7: the key host appears twice"},
        {"an empty value", QString(GoodConf).replace("host=127.0.0.1", "host="),
         "the key host has no value"},
        {"a port that is no number", QString(GoodConf).replace("5432", "54x"),
         "the port 54x is not a number"},
        {"a port out of range", QString(GoodConf).replace("5432", "70000"),
         "the port 70000 is not a number from 1 to 65535"},
        {"empty file", "", "there is no section [index]"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        QString error;
        EXPECT_FALSE(chartindex::parseConf(c.text, "/p/PeloraFileDB.conf", &error));
        EXPECT_TRUE(error.startsWith("/p/PeloraFileDB.conf")) << error.toStdString();
        EXPECT_TRUE(error.contains(c.reason)) << error.toStdString();
    }
}

TEST(IndexConf, OpenFailsWithTheReasonOfABadConfOrADownServer) {
    QTemporaryDir folder;
    QString error;
    // An SQLite index beside a bad conf is not used in its place.
    ASSERT_TRUE(chartindex::createEmptyIndex(folder.filePath(chartindex::fileName), &error));
    QFile conf(folder.filePath(chartindex::confFileName));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write(QString(GoodConf).replace("postgresql", "sqlite").toUtf8());
    conf.close();
    ChartIndex index;
    EXPECT_FALSE(index.open(folder.path()));
    EXPECT_TRUE(index.lastError().contains(conf.fileName()) &&
                index.lastError().contains("unsupported driver sqlite"))
        << index.lastError().toStdString();

    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write("\xff\xfe[index]\n");
    conf.close();
    EXPECT_FALSE(index.open(folder.path()));
    EXPECT_TRUE(index.lastError().contains("not UTF-8")) << index.lastError().toStdString();

    if (!QSqlDatabase::isDriverAvailable("QPSQL")) {
        GTEST_SKIP() << "the Qt SQL driver QPSQL is not installed";
    }
    // Port 1 on this machine: nothing listens there.
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
    conf.write(QString(GoodConf).replace("5432", "1").toUtf8());
    conf.close();
    EXPECT_FALSE(index.open(folder.path()));
    EXPECT_TRUE(index.lastError().contains("127.0.0.1:1") && index.lastError().contains("onnect"))
        << index.lastError().toStdString();
}

class ServerIndexTest : public ::testing::Test {
protected:
    void SetUp() override {
        PELORA_SKIP_WITHOUT_SERVER(Backend::Postgres);
        m_testbed = std::make_unique<IndexTestbed>(Backend::Postgres, ServerEnvironment::server());
        ASSERT_TRUE(m_testbed->problem().isEmpty()) << m_testbed->problem().toStdString();
        QString error;
        ASSERT_TRUE(m_testbed->create(&error)) << error.toStdString();
    }
    /// Ends every other session on the index's database, as a server restart would.
    void dropConnections() {
        QString error;
        ASSERT_TRUE(m_testbed->server()->exec(
            "postgres",
            QString("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE datname = "
                    "'%1' AND pid <> pg_backend_pid()")
                .arg(m_testbed->database()),
            &error))
            << error.toStdString();
    }
    void writeConfFor(const QString& user) {
        auto address = *m_testbed->location().server;
        address.user = user;
        QFile conf(QDir(m_testbed->folder()).filePath(chartindex::confFileName));
        ASSERT_TRUE(conf.open(QIODevice::WriteOnly));
        conf.write(PrivateServer::confText(address));
    }

    std::unique_ptr<IndexTestbed> m_testbed;
};

TEST_F(ServerIndexTest, ALostConnectionIsMadeAgainOnceAtTheNextOperation) {
    ChartIndex index;
    ASSERT_TRUE(index.open(m_testbed->folder())) << index.lastError().toStdString();
    ASSERT_TRUE(index.insertChart({1, 0, "/a.pdf", {}}));
    dropConnections();
    EXPECT_EQ(index.rowCount(), 1) << index.lastError().toStdString();
    dropConnections();
    EXPECT_TRUE(index.insertChart({2, 0, "/b.pdf", {}})) << index.lastError().toStdString();
    EXPECT_EQ(index.containsPath("/b.pdf"), true);

    // A server that takes no new connection: the insert fails and says why; the row is lost
    // for this run (the registration check files the chart), but reading goes on once the
    // server takes connections again.
    m_testbed->server()->exec(
        "postgres",
        QString("ALTER DATABASE %1 ALLOW_CONNECTIONS false").arg(m_testbed->database()));
    dropConnections();
    EXPECT_FALSE(index.insertChart({3, 0, "/c.pdf", {}}));
    EXPECT_TRUE(index.lastError().contains("/c.pdf") &&
                index.lastError().contains("could not be made again"))
        << index.lastError().toStdString();
    EXPECT_EQ(index.rowCount(), std::nullopt);
    m_testbed->server()->exec(
        "postgres", QString("ALTER DATABASE %1 ALLOW_CONNECTIONS true").arg(m_testbed->database()));
    EXPECT_EQ(index.rowCount(), 2) << index.lastError().toStdString();
    EXPECT_EQ(index.containsPath("/c.pdf"), false);
    EXPECT_FALSE(index.insertChart({4, 0, "/d.pdf", {}}));
}

TEST_F(ServerIndexTest, AUserWhoMayOnlyReadIsRefusedAtOpen) {
    // A clinic that took back the rights every workstation has by default.
    m_testbed->exec("REVOKE INSERT, UPDATE, DELETE ON PeloraFileDB FROM PUBLIC");
    m_testbed->exec("CREATE ROLE reader LOGIN");
    writeConfFor("reader");
    ChartIndex index;
    EXPECT_FALSE(index.open(m_testbed->folder()));
    EXPECT_TRUE(index.lastError().contains("lacks the right") &&
                index.lastError().contains("PeloraFileDB"))
        << index.lastError().toStdString();
    m_testbed->exec("GRANT INSERT, UPDATE, DELETE ON PeloraFileDB TO reader");
    EXPECT_TRUE(index.open(m_testbed->folder())) << index.lastError().toStdString();
    index.close();
    m_testbed->exec("REVOKE ALL ON PeloraFileDB FROM reader");
    m_testbed->exec("DROP ROLE reader");
}

} // namespace
