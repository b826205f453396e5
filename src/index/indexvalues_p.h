// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// How values come back from either engine, for the files of the index layer only.

#include <QDateTime>
#include <QString>
#include <QVariant>

namespace chartindex {

inline const QString TimestampFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz");

/// A time stamp as stored: the server hands a timestamp back as one; SQLite keeps the text it
/// was given.
inline QDateTime readTimestamp(const QVariant& value) {
    if (value.typeId() == QMetaType::QDateTime) {
        return value.toDateTime();
    }
    const QString text = value.toString();
    // The fixed layout is read digit by digit: a format parse costs more than the rest of the
    // row, and a result grid reads a thousand rows a page.
    auto number = [&text](qsizetype from, qsizetype length) {
        int result = 0;
        for (qsizetype n = from; n < from + length; ++n) {
            const int digit = text.at(n).digitValue();
            if (digit < 0) {
                return -1;
            }
            result = result * 10 + digit;
        }
        return result;
    };
    if (text.size() == 23 && text.at(4) == u'-' && text.at(7) == u'-' && text.at(10) == u' ' &&
        text.at(13) == u':' && text.at(16) == u':' && text.at(19) == u'.') {
        const QDate date(number(0, 4), number(5, 2), number(8, 2));
        const QTime time(number(11, 2), number(14, 2), number(17, 2), number(20, 3));
        if (date.isValid() && time.isValid()) {
            return QDateTime(date, time);
        }
    }
    return QDateTime::fromString(text, TimestampFormat);
}

} // namespace chartindex
