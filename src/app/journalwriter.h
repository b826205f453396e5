// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Writes work journals on a thread of its own, so that the window only hands over a copy of
/// its state and never waits for the disk.

#include "app/workjournal.h"

#include <QHash>
#include <QString>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

/// The journal's writer thread. record() and end() return at once; the thread writes each
/// journal through a temporary file, flushed to disk, and a rename, so the journal on disk is
/// always a whole one: the one before the change or the one after it. Writes are spaced by the
/// interval: changes that arrive meanwhile are merged into the next write.
///
/// A page's file identity is taken the first time the writer sees the page, and kept for the
/// page after that; rewritten() has it taken again when the page editor rewrote the file.
///
/// Test hook: when the environment variable PELORAFILE_TEST_JOURNAL_PAUSE names a file and that
/// file exists once a journal's temporary file is on disk, the writer removes it, creates the
/// file of that name with ".paused" added, and waits a minute before the rename: a test can
/// kill the program at exactly that point. Without the variable nothing of this runs.
class JournalWriter {
public:
    using Clock = std::function<QDateTime()>;

    explicit JournalWriter(std::chrono::milliseconds interval = std::chrono::milliseconds(250),
                           Clock clock = &QDateTime::currentDateTime);
    /// Finishes the write under way; changes not written yet are dropped.
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    /// Writes \p work as the journal \p path, replacing any change of it not written yet.
    void record(const QString& path, workjournal::Work work);
    /// Removes the journal \p path; changes of it not written yet are dropped.
    void end(const QString& path);
    /// The identity of \p imageFile is to be taken again at the next write.
    void rewritten(const QString& imageFile);
    /// Identities known already (a journal read back), used in place of taking them again.
    void knowIdentities(const std::vector<workjournal::Page>& pages);
    /// Blocks until everything handed over so far is on disk (the interval is not waited out).
    void flush();

    /// The last failure to write or remove a journal, empty when the last attempt worked.
    QString lastError() const;
    /// Journals written since the start (for tests and the benchmark).
    int writes() const;

private:
    struct Task {
        enum class Kind : quint8 { Write, Remove } kind;
        QString path;
        workjournal::Work work;
    };
    void run();
    bool write(const QString& path, workjournal::Work& work);
    bool remove(const QString& path);
    void identify(workjournal::Work& work);

    const std::chrono::milliseconds m_interval;
    const Clock m_clock;
    const QString m_pauseTrigger;

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::condition_variable m_idle;
    std::deque<Task> m_tasks;
    QHash<QString, std::optional<scannerfolder::FileIdentity>> m_identities; // by image file
    bool m_busy = false;
    bool m_hurry = false;
    bool m_stop = false;
    QString m_lastError;
    int m_writes = 0;
    std::chrono::steady_clock::time_point m_nextWrite{};
    std::thread m_thread; // last: started once everything above exists
};
