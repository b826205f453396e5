// SPDX-License-Identifier: GPL-3.0-or-later
#include "privateserver.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

const QString ServerBin = QStringLiteral("/usr/lib/postgresql/15/bin");

/// A port nobody listens on at this moment: the kernel's pick for a socket bound to port 0.
int freeLocalPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) {
        return 0;
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

} // namespace

std::unique_ptr<PrivateServer> PrivateServer::start(QString* reason) {
    if (!QFileInfo(ServerBin + QStringLiteral("/pg_ctl")).isExecutable()) {
        *reason = QStringLiteral("PostgreSQL 15 is not installed (%1/pg_ctl is missing; the "
                                 "Debian package postgresql-15 brings it)")
                      .arg(ServerBin);
        return nullptr;
    }
    if (!QSqlDatabase::isDriverAvailable(QStringLiteral("QPSQL"))) {
        *reason = QStringLiteral("the Qt SQL driver QPSQL is not installed (Debian package "
                                 "libqt6sql6-psql)");
        return nullptr;
    }
    std::unique_ptr<PrivateServer> server(new PrivateServer);
    if (!server->m_dir.isValid()) {
        *reason = QStringLiteral("no temporary folder for the server");
        return nullptr;
    }
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        if (!nobody || ::chown(QFile::encodeName(server->m_dir.path()).constData(), nobody->pw_uid,
                               nobody->pw_gid) != 0) {
            *reason = QStringLiteral("cannot hand the server's folder to the user nobody");
            return nullptr;
        }
    }
    server->m_port = freeLocalPort();
    const QString data = server->m_dir.filePath(QStringLiteral("data"));
    QString output;
    if (!server->run({ServerBin + QStringLiteral("/initdb"), QStringLiteral("-D"), data,
                      QStringLiteral("-U"), superuser(), QStringLiteral("-A"),
                      QStringLiteral("trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                      QStringLiteral("--locale=C.UTF-8"), QStringLiteral("--no-sync")},
                     &output)) {
        *reason = QStringLiteral("initdb failed: ") + output;
        return nullptr;
    }
    if (!server->launch(reason)) {
        server->m_port = 0; // nothing to stop
        return nullptr;
    }
    return server;
}

bool PrivateServer::launch(QString* reason) {
    const QString data = m_dir.filePath(QStringLiteral("data"));
    // Every statement that fails is in the log, so a test can tell that a save made none.
    const QString options = QStringLiteral("-p %1 -k %2 -c listen_addresses=127.0.0.1 "
                                           "-c fsync=off -c max_connections=60 "
                                           "-c log_min_error_statement=error")
                                .arg(m_port)
                                .arg(m_dir.path());
    QString output;
    if (!run({ServerBin + QStringLiteral("/pg_ctl"), QStringLiteral("-D"), data,
              QStringLiteral("-l"), m_dir.filePath(QStringLiteral("server.log")),
              QStringLiteral("-w"), QStringLiteral("-t"), QStringLiteral("60"),
              QStringLiteral("-o"), options, QStringLiteral("start")},
             &output)) {
        *reason = QStringLiteral("the server did not start: %1 %2").arg(output, log().right(2000));
        return false;
    }
    return true;
}

QString PrivateServer::log() const {
    QFile file(m_dir.filePath(QStringLiteral("server.log")));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

std::vector<pid_t> PrivateServer::processes() const {
    QFile pidFile(m_dir.filePath(QStringLiteral("data/postmaster.pid")));
    if (!pidFile.open(QIODevice::ReadOnly)) {
        return {};
    }
    const pid_t postmaster = pid_t(QString::fromLatin1(pidFile.readLine()).trimmed().toInt());
    std::vector<pid_t> found{postmaster};
    for (const QString& entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool numeric = false;
        const pid_t pid = pid_t(entry.toInt(&numeric));
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!numeric || !stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // "pid (name) state ppid ...": the name may hold spaces, the last ")" ends it.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toInt() == postmaster) {
            found.push_back(pid);
        }
    }
    return found;
}

bool PrivateServer::pause() {
    const auto pids = processes();
    for (pid_t pid : pids) {
        ::kill(pid, SIGSTOP);
    }
    return !pids.empty();
}

bool PrivateServer::resume() {
    const auto pids = processes();
    for (pid_t pid : pids) {
        ::kill(pid, SIGCONT);
    }
    return !pids.empty();
}

bool PrivateServer::shutDown() {
    QString ignored;
    return run({ServerBin + QStringLiteral("/pg_ctl"), QStringLiteral("-D"),
                m_dir.filePath(QStringLiteral("data")), QStringLiteral("-m"),
                QStringLiteral("immediate"), QStringLiteral("-w"), QStringLiteral("stop")},
               &ignored);
}

bool PrivateServer::startAgain() {
    QString reason;
    return launch(&reason);
}

PrivateServer::~PrivateServer() {
    resume(); // a paused server could not stop
    if (m_port != 0) {
        QString ignored;
        run({ServerBin + QStringLiteral("/pg_ctl"), QStringLiteral("-D"),
             m_dir.filePath(QStringLiteral("data")), QStringLiteral("-m"), QStringLiteral("fast"),
             QStringLiteral("-w"), QStringLiteral("stop")},
            &ignored);
    }
}

bool PrivateServer::run(const QStringList& arguments, QString* output) const {
    QStringList command = arguments;
    if (::geteuid() == 0) {
        command = QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=nobody"),
                              QStringLiteral("--regid=nogroup"), QStringLiteral("--clear-groups"),
                              QStringLiteral("--")} +
                  command;
    }
    QProcess process;
    process.setWorkingDirectory(m_dir.path());
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(120000)) {
        *output =
            QStringLiteral("%1 did not finish: %2").arg(command.first(), process.errorString());
        process.kill();
        process.waitForFinished();
        return false;
    }
    *output = QString::fromUtf8(process.readAll()).trimmed();
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

chartindex::ServerAddress PrivateServer::address(const QString& database) const {
    return {QStringLiteral("127.0.0.1"), m_port, database, superuser()};
}

bool PrivateServer::exec(const QString& database, const QString& statement, QString* error) const {
    const QString name = QStringLiteral("private-server-%1").arg(QUuid::createUuid().toString());
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(QStringLiteral("127.0.0.1"));
        db.setPort(m_port);
        db.setDatabaseName(database);
        db.setUserName(superuser());
        if (db.open()) {
            QSqlQuery query(db);
            ok = query.exec(statement);
            if (!ok && error) {
                *error = query.lastError().text();
            }
        } else if (error) {
            *error = db.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

QString PrivateServer::createDatabase(QString* error) {
    const QString name = QStringLiteral("index%1").arg(++m_databases);
    return exec(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE %1").arg(name), error)
               ? name
               : QString();
}

QByteArray PrivateServer::confText(const chartindex::ServerAddress& address) {
    return QStringLiteral("[index]\ndriver=postgresql\nhost=%1\nport=%2\ndatabase=%3\nuser=%4\n")
        .arg(address.host)
        .arg(address.port)
        .arg(address.database, address.user)
        .toUtf8();
}
