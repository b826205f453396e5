// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/journalwriter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

QString systemError(const QString& path) {
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
}

/// Makes a rename in \p folder durable: the folder's entry is flushed as well as the file.
void syncFolder(const QString& folder) {
    const int fd =
        ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

/// Writes \p bytes to \p path (created or truncated) and flushes them to disk.
bool writeDurably(const QString& path, const QByteArray& bytes, QString* error) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = systemError(path);
        return false;
    }
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(left));
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            *error = systemError(path);
            ::close(fd);
            return false;
        }
        data += written;
        left -= written;
    }
    if (::fsync(fd) != 0) {
        *error = systemError(path);
        ::close(fd);
        return false;
    }
    ::close(fd);
    return true;
}

} // namespace

JournalWriter::JournalWriter(std::chrono::milliseconds interval, Clock clock)
    : m_interval(interval), m_clock(std::move(clock)),
      m_pauseTrigger(qEnvironmentVariable("PELORAFILE_TEST_JOURNAL_PAUSE")),
      m_thread([this] { run(); }) {}

JournalWriter::~JournalWriter() {
    {
        const std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void JournalWriter::record(const QString& path, workjournal::Work work) {
    {
        const std::lock_guard lock(m_mutex);
        // Only the newest state of a journal matters: a write still waiting takes it.
        if (!m_tasks.empty() && m_tasks.back().kind == Task::Kind::Write &&
            m_tasks.back().path == path) {
            m_tasks.back().work = std::move(work);
        } else {
            m_tasks.push_back(Task{Task::Kind::Write, path, std::move(work)});
        }
    }
    m_wake.notify_all();
}

void JournalWriter::end(const QString& path) {
    {
        const std::lock_guard lock(m_mutex);
        std::erase_if(m_tasks, [&](const Task& task) { return task.path == path; });
        m_tasks.push_back(Task{Task::Kind::Remove, path, {}});
        m_identities.clear(); // the next chart's pages are identified afresh
    }
    m_wake.notify_all();
}

void JournalWriter::rewritten(const QString& imageFile) {
    const std::lock_guard lock(m_mutex);
    m_identities.remove(imageFile);
}

void JournalWriter::knowIdentities(const std::vector<workjournal::Page>& pages) {
    const std::lock_guard lock(m_mutex);
    for (const auto& page : pages) {
        m_identities.insert(page.imageFile, page.identity);
    }
}

void JournalWriter::flush() {
    std::unique_lock lock(m_mutex);
    m_hurry = true;
    m_wake.notify_all();
    m_idle.wait(lock, [this] { return m_tasks.empty() && !m_busy; });
    m_hurry = false;
}

QString JournalWriter::lastError() const {
    const std::lock_guard lock(m_mutex);
    return m_lastError;
}

int JournalWriter::writes() const {
    const std::lock_guard lock(m_mutex);
    return m_writes;
}

void JournalWriter::run() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_tasks.empty(); });
        if (m_stop) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (m_tasks.front().kind == Task::Kind::Write && !m_hurry && now < m_nextWrite) {
            // Spacing the writes: what changes meanwhile joins this one.
            m_wake.wait_until(lock, m_nextWrite, [this] { return m_stop || m_hurry; });
            continue;
        }
        Task task = std::move(m_tasks.front());
        m_tasks.pop_front();
        m_busy = true;
        lock.unlock();
        bool done = false;
        if (task.kind == Task::Kind::Write) {
            identify(task.work);
            done = write(task.path, task.work);
        } else {
            done = remove(task.path);
        }
        lock.lock();
        m_busy = false;
        if (task.kind == Task::Kind::Write) {
            m_nextWrite = std::chrono::steady_clock::now() + m_interval;
            m_writes += done ? 1 : 0;
        }
        if (done) {
            m_lastError.clear();
        }
        if (m_tasks.empty()) {
            m_idle.notify_all();
        }
    }
}

void JournalWriter::identify(workjournal::Work& work) {
    // Taken outside the lock: a stat of a page on a slow share must not hold up the window.
    for (auto& page : work.pages) {
        std::unique_lock lock(m_mutex);
        const auto known = m_identities.constFind(page.imageFile);
        if (known != m_identities.cend()) {
            page.identity = *known;
            continue;
        }
        lock.unlock();
        page.identity = scannerfolder::identify(page.imageFile);
        lock.lock();
        m_identities.insert(page.imageFile, page.identity);
    }
}

bool JournalWriter::write(const QString& path, workjournal::Work& work) {
    const QByteArray bytes = workjournal::serialize(work, m_clock());
    const QString temporary = workjournal::temporaryPath(path);
    QString error;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        error = QStringLiteral("%1: cannot create the folder").arg(QFileInfo(path).absolutePath());
    } else if (writeDurably(temporary, bytes, &error)) {
        if (!m_pauseTrigger.isEmpty() && QFile::remove(m_pauseTrigger)) {
            QFile paused(m_pauseTrigger + QStringLiteral(".paused"));
            paused.open(QIODevice::WriteOnly);
            paused.close();
            std::this_thread::sleep_for(std::chrono::minutes(1));
        }
        if (std::rename(QFile::encodeName(temporary).constData(),
                        QFile::encodeName(path).constData()) == 0) {
            syncFolder(QFileInfo(path).absolutePath());
            return true;
        }
        error = systemError(path);
        QFile::remove(temporary);
    }
    const std::lock_guard lock(m_mutex);
    m_lastError = error;
    return false;
}

bool JournalWriter::remove(const QString& path) {
    QFile::remove(workjournal::temporaryPath(path));
    if (!QFile::exists(path) || QFile::remove(path)) {
        syncFolder(QFileInfo(path).absolutePath());
        return true;
    }
    const std::lock_guard lock(m_mutex);
    m_lastError = QStringLiteral("%1: cannot be removed").arg(path);
    return false;
}
