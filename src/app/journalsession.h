// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The work journal of the scanner folder this program works on: held by one program at a time,
/// read back after a run that did not end cleanly, and written while the operator works.

#include "app/journalwriter.h"
#include "app/workjournal.h"

#include <QString>
#include <memory>
#include <optional>

class FileLock;

class JournalSession {
public:
    /// Journals live in \p stateFolder (created when missing).
    explicit JournalSession(QString stateFolder,
                            std::chrono::milliseconds interval = std::chrono::milliseconds(250));
    ~JournalSession();
    JournalSession(const JournalSession&) = delete;
    JournalSession& operator=(const JournalSession&) = delete;

    enum class Claim : quint8 {
        Claimed, ///< this program keeps the folder's journal from now on
        InUse,   ///< another program holds it
        Failed,  ///< the state folder or the lock cannot be made; error says why
    };
    /// Takes the journal of \p scannerFolder, giving up the one held before. A program holds
    /// the lock until release(), another claim or its end (a killed one included: the lock
    /// goes with the process).
    Claim claim(const QString& scannerFolder, QString* error);
    void release();
    bool isClaimed() const { return m_lock != nullptr; }
    const QString& scannerFolder() const { return m_scannerFolder; }
    /// The journal file of the claimed folder.
    const QString& path() const { return m_path; }

    /// What a run that did not end cleanly left in the claimed folder's journal.
    struct Left {
        std::optional<workjournal::Work> work; ///< none: refused (or no pages in it)
        QDateTime written;
        QString refusal; ///< why it was refused, with where it was moved
    };
    /// Reads that journal; nothing when there is none. A journal that is refused is moved
    /// aside at once, so the next start does not meet it again.
    std::optional<Left> readLeft();
    /// Moves the claimed folder's journal aside, keeping one generation; never touches a page.
    bool discardLeft(QString* error);

    /// Hands the state of the work to the writer (ignored when nothing is claimed).
    void record(workjournal::Work work);
    /// Removes the claimed folder's journal: the work was saved, replaced or closed.
    void end();
    JournalWriter& writer() { return m_writer; }

private:
    QString m_stateFolder;
    QString m_scannerFolder;
    QString m_path;
    std::unique_ptr<FileLock> m_lock;
    JournalWriter m_writer;
};
