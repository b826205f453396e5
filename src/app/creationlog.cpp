// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/creationlog.h"

#include "platform/cp932qt.h"

#include <QFile>

void CreationLog::addLine(const QString& line) {
    m_lines.append(line);
    m_modified = true;
}

void CreationLog::clear() {
    m_lines.clear();
    m_modified = false;
}

QString CreationLog::lineFor(qint64 patient, const QString& chartPath,
                             const std::array<QString, 4>& keywords) {
    QString line = QString::number(patient) + u',' + chartPath;
    for (const auto& keyword : keywords) {
        line += QStringLiteral(",\"") + keyword + u'"';
    }
    return line;
}

namespace {

QByteArray cp932OrQuestionMarks(const QString& text) {
    if (auto bytes = cp932::qEncode(text)) {
        return *bytes;
    }
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        // Surrogate pairs are one character and one question mark.
        const qsizetype length = text.at(i).isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const auto bytes = cp932::qEncode(text.mid(i, length));
        out += bytes ? *bytes : QByteArray("?");
        i += length - 1;
    }
    return out;
}

} // namespace

CreationLog::AppendResult CreationLog::appendTo(const QString& path, QString* error) const {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        if (error) {
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        }
        return AppendResult::OpenFailed;
    }
    QByteArray bytes;
    for (const auto& line : m_lines) {
        bytes += cp932OrQuestionMarks(line);
        bytes += "\r\n";
    }
    const bool written = file.write(bytes) == bytes.size() && file.flush();
    if (!written) {
        if (error) {
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        }
        return AppendResult::WriteFailed;
    }
    file.close();
    return AppendResult::Appended;
}
