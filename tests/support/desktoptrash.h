// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// A desktop trash of the test's own: HOME and XDG_DATA_HOME point into a folder of the test
/// (on the same file system as its scanner folder, so the trash takes files by a rename) for as
/// long as the object lives, and the trash's files and their recorded origins can be read back.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QUrl>

class DesktopTrash {
public:
    /// Makes \p root the home folder and \p root/data the data folder.
    explicit DesktopTrash(const QString& root)
        : m_home(qgetenv("HOME")), m_dataHome(qgetenv("XDG_DATA_HOME")),
          m_trash(QDir(root).filePath(QStringLiteral("data/Trash"))) {
        qputenv("HOME", QFile::encodeName(root));
        qputenv("XDG_DATA_HOME", QFile::encodeName(QDir(root).filePath(QStringLiteral("data"))));
    }
    ~DesktopTrash() {
        restore("HOME", m_home);
        restore("XDG_DATA_HOME", m_dataHome);
    }
    DesktopTrash(const DesktopTrash&) = delete;
    DesktopTrash& operator=(const DesktopTrash&) = delete;

    /// Makes the data folder a place where no trash can be made.
    void makeUnavailable() const {
        const QString data = QFileInfo(m_trash).absolutePath();
        QDir().mkpath(QFileInfo(data).absolutePath());
        QFile blocker(data);
        blocker.open(QIODevice::WriteOnly); // a file where the data folder should be
    }

    /// The names of the files in the trash, sorted.
    QStringList files() const {
        return QDir(m_trash + QStringLiteral("/files"))
            .entryList(QDir::Files | QDir::Hidden, QDir::Name);
    }
    QByteArray contents(const QString& name) const {
        QFile file(m_trash + QStringLiteral("/files/") + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    /// Where the trash entry \p name says the file came from.
    QString origin(const QString& name) const {
        QFile info(m_trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"));
        if (!info.open(QIODevice::ReadOnly)) {
            return {};
        }
        for (const QByteArray& line : info.readAll().split('\n')) {
            if (line.startsWith("Path=")) {
                return QUrl::fromPercentEncoding(line.mid(5));
            }
        }
        return {};
    }

private:
    static void restore(const char* name, const QByteArray& value) {
        if (value.isNull()) {
            qunsetenv(name);
        } else {
            qputenv(name, value);
        }
    }

    QByteArray m_home;
    QByteArray m_dataHome;
    QString m_trash;
};
