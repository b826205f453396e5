// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// A PostgreSQL server of the tests' own: a fresh cluster in a temporary folder, on a free
/// local port, run as an unprivileged user (the server refuses to run as root), stopped when
/// the object goes.

#include "index/indexlocation.h"

#include <QString>
#include <QTemporaryDir>
#include <memory>
#include <sys/types.h>
#include <vector>

class PrivateServer {
public:
    /// Starts a server, or returns nullptr with the reason in \p reason (no PostgreSQL 15
    /// installed, no unprivileged user to run it, the start failed).
    static std::unique_ptr<PrivateServer> start(QString* reason);
    ~PrivateServer();
    PrivateServer(const PrivateServer&) = delete;
    PrivateServer& operator=(const PrivateServer&) = delete;

    /// The superuser, who needs no password on this server.
    static QString superuser() { return QStringLiteral("postgres"); }
    int port() const { return m_port; }
    /// \p database on this server, as the superuser.
    chartindex::ServerAddress address(const QString& database) const;

    /// Runs \p statement as the superuser in \p database; false with the reason in \p error.
    bool exec(const QString& database, const QString& statement, QString* error = nullptr) const;
    /// Creates a database of a new name and returns the name.
    QString createDatabase(QString* error = nullptr);
    /// The text of a conf file that names \p address.
    static QByteArray confText(const chartindex::ServerAddress& address);

    /// What the server has logged so far.
    QString log() const;
    /// Stops every process of the server without ending it (SIGSTOP): it accepts connections
    /// and answers nothing, as a server that hangs. resume() lets it go on.
    bool pause();
    bool resume();
    /// Shuts the server down, as an outage does; start() brings it back on the same port.
    bool shutDown();
    bool startAgain();

private:
    /// The server's processes: the postmaster and its children.
    std::vector<pid_t> processes() const;
    bool launch(QString* reason);

    PrivateServer() = default;
    bool run(const QStringList& arguments, QString* output) const;

    QTemporaryDir m_dir;
    int m_port = 0;
    int m_databases = 0;
};
