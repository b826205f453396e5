// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// An empty chart index on either backend for the index tests: an SQLite file in a temporary
/// program folder, or a fresh database on the tests' private server named by the folder's conf
/// file. Tests reach the backend-specific side (another workstation's connection) through it.

#include "index/chartindexschema.h"
#include "index/indexlocation.h"
#include "privateserver.h"

#include <QSqlDatabase>
#include <QTemporaryDir>
#include <ostream>
#include <string>

enum class Backend { Sqlite, Postgres };

inline std::string backendName(Backend backend) {
    return backend == Backend::Sqlite ? "SQLite" : "PostgreSQL";
}

// Readable failure messages: gtest shows these as text, not as bytes.
inline void PrintTo(Backend backend, std::ostream* out) {
    *out << backendName(backend);
}
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

/// A program folder whose index lives on \p backend. For PostgreSQL the folder's conf file
/// names a new database (holding no table until create() is called).
class IndexTestbed {
public:
    /// \p server may be null for SQLite.
    IndexTestbed(Backend backend, PrivateServer* server);

    /// Empty when the testbed is ready; the reason otherwise.
    const QString& problem() const { return m_problem; }
    Backend backend() const { return m_backend; }
    QString folder() const { return m_dir.path(); }
    chartindex::IndexLocation location() const;
    /// Creates the empty index; false with the reason in \p error.
    bool create(QString* error);

    /// Points the program folder's conf file at the server as \p role, a role of the
    /// workstations that does not own the tables (PostgreSQL only).
    void connectAs(const QString& role);

    /// A connection of its own to the same index, playing another workstation; on the server
    /// as \p role (the tables' owner when empty).
    class Peer {
    public:
        explicit Peer(const IndexTestbed& testbed, const QString& role = {});
        ~Peer();
        Peer(const Peer&) = delete;
        Peer& operator=(const Peer&) = delete;
        /// Runs \p statement; the test fails when it does.
        void exec(const QString& statement);
        /// Runs \p statement; false, with the server's reason in \p error, when it fails.
        bool tryExec(const QString& statement, QString* error);

    private:
        QString m_name;
    };

    /// Runs \p statement on the index's database (as its owner); the test fails when it does.
    void exec(const QString& statement) const;
    /// A row as another workstation would add it.
    static QString insertStatement(int pidno, const QString& path);

    PrivateServer* server() const { return m_server; }
    QString database() const { return m_database; }

private:
    Backend m_backend;
    PrivateServer* m_server;
    QTemporaryDir m_dir;
    QString m_database;
    QString m_problem;
};
