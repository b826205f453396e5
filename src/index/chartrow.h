// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The rows of the chart index as the program hands them in and reads them back.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <array>

namespace chartindex {

/// The four keywords of a chart, Key1 to Key4.
using Keywords = std::array<QString, 4>;

/// A row to add: the time stamp is the index's own.
struct ChartRow {
    int pidno = 0;
    int subNo = 0;
    QString filePath;
    Keywords keys;
    /// SHA-256 of the chart file in hexadecimal, kept beside the row; empty: none known.
    QByteArray sha256;
};

/// A row as stored, with the identity that keyword edits and deletions address.
struct StoredRow {
    qint64 id = 0;
    int pidno = 0;
    int subNo = 0;
    QDateTime createdAt;
    QString filePath;
    Keywords keys;

    bool operator==(const StoredRow&) const = default;
};

} // namespace chartindex
