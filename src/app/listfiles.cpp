// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/listfiles.h"

#include <QDir>
#include <utility>

ListFiles::ListFiles(QString programFolder) : m_programFolder(std::move(programFolder)) {}

QString ListFiles::fileName(List list) {
    switch (list) {
    case List::Comment:
        return QStringLiteral("Comment.txt");
    case List::Shiori:
        return QStringLiteral("Shiori.txt");
    case List::Key1:
        return QStringLiteral("Key1.txt");
    case List::Key2:
        return QStringLiteral("Key2.txt");
    case List::Key3:
        return QStringLiteral("Key3.txt");
    case List::Key4:
        return QStringLiteral("Key4.txt");
    }
    Q_UNREACHABLE();
}

QString ListFiles::path(List list) const {
    return QDir(m_programFolder).filePath(fileName(list));
}
