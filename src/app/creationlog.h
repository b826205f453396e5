// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The creation log: one line per chart saved in this run, kept in memory, with a mark that
/// tells whether lines were added since they were last appended to a file or cleared.

#include <QString>
#include <QStringList>
#include <array>

class CreationLog {
public:
    const QStringList& lines() const { return m_lines; }
    bool isModified() const { return m_modified; }

    void addLine(const QString& line);
    void clear();
    void markAppended() { m_modified = false; }

    /// The line of one saved chart: patient, path, and the four keywords in double quotes as
    /// typed (quotes inside are kept as they are).
    static QString lineFor(qint64 patient, const QString& chartPath,
                           const std::array<QString, 4>& keywords);

    enum class AppendResult : quint8 { Appended, OpenFailed, WriteFailed };
    /// Appends every line, each ended by CR LF, to the text file \p path (created when it does not
    /// exist). Code page 932; a character that CP932 cannot hold is written as "?". \p error says
    /// what went wrong.
    AppendResult appendTo(const QString& path, QString* error) const;

private:
    QStringList m_lines;
    bool m_modified = false;
};
