// SPDX-License-Identifier: GPL-3.0-or-later
#include "indextestbed.h"

#include <QDir>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <gtest/gtest.h>

IndexTestbed::IndexTestbed(Backend backend, PrivateServer* server)
    : m_backend(backend), m_server(server) {
    if (backend == Backend::Sqlite) {
        return;
    }
    if (!server) {
        m_problem = QStringLiteral("no PostgreSQL server");
        return;
    }
    m_database = server->createDatabase(&m_problem);
    if (m_database.isEmpty()) {
        return;
    }
    QFile conf(QDir(folder()).filePath(chartindex::confFileName));
    if (!conf.open(QIODevice::WriteOnly) ||
        conf.write(PrivateServer::confText(server->address(m_database))) < 0) {
        m_problem = QStringLiteral("cannot write the conf file: ") + conf.errorString();
    }
}

chartindex::IndexLocation IndexTestbed::location() const {
    if (m_backend == Backend::Sqlite) {
        return {QDir(folder()).filePath(chartindex::fileName), std::nullopt};
    }
    return {QString(), m_server->address(m_database)};
}

bool IndexTestbed::create(QString* error) {
    return chartindex::createIndex(location(), error) == chartindex::CreateResult::Created;
}

void IndexTestbed::exec(const QString& statement) const {
    Peer peer(*this);
    peer.exec(statement);
}

QString IndexTestbed::insertStatement(int pidno, const QString& path) {
    return QStringLiteral("INSERT INTO PeloraFileDB (Pidno, SubNo, CreateDateTime, FilePath, Key1, "
                          "Key2, Key3, Key4) VALUES (%1, 0, '2024-01-01 00:00:00.000', '%2', '', "
                          "'', '', '')")
        .arg(pidno)
        .arg(path);
}

void IndexTestbed::connectAs(const QString& role) {
    auto address = m_server->address(m_database);
    address.user = role;
    QFile conf(QDir(folder()).filePath(chartindex::confFileName));
    ASSERT_TRUE(conf.open(QIODevice::WriteOnly | QIODevice::Truncate));
    conf.write(PrivateServer::confText(address));
}

IndexTestbed::Peer::Peer(const IndexTestbed& testbed, const QString& role)
    : m_name(QStringLiteral("peer-%1").arg(QUuid::createUuid().toString())) {
    if (testbed.backend() == Backend::Sqlite) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(testbed.location().sqliteFile);
        EXPECT_TRUE(db.open());
        return;
    }
    const auto address = testbed.server()->address(testbed.database());
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_name);
    db.setHostName(address.host);
    db.setPort(address.port);
    db.setDatabaseName(address.database);
    db.setUserName(role.isEmpty() ? address.user : role);
    EXPECT_TRUE(db.open()) << db.lastError().text().toStdString();
}

IndexTestbed::Peer::~Peer() {
    QSqlDatabase::database(m_name, false).close();
    QSqlDatabase::removeDatabase(m_name);
}

void IndexTestbed::Peer::exec(const QString& statement) {
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    EXPECT_TRUE(q.exec(statement))
        << statement.toStdString() << ": " << q.lastError().text().toStdString();
}

bool IndexTestbed::Peer::tryExec(const QString& statement, QString* error) {
    QSqlQuery q(QSqlDatabase::database(m_name, false));
    if (q.exec(statement)) {
        return true;
    }
    *error = q.lastError().text();
    return false;
}
