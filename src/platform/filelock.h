// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Advisory whole-file write locks between savers, in this process or in others, on this
/// workstation or on others sharing the folder over the network.
///
/// The locks are open file description locks: a lock belongs to the FileLock that took it (not
/// to the process), so two savers in one process exclude each other as two processes do, and
/// closing some other descriptor of the same file never drops it. On a network share the kernel
/// hands the lock to the file server, which enforces it between workstations.

#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class FileLock {
public:
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    /// Opens \p path (creating it when missing) and waits up to \p patience for the lock.
    /// \p waiting is called once when the lock is held by another and the wait begins. Returns
    /// nullptr with the reason in \p error when the file cannot be opened or the wait ran out.
    static std::unique_ptr<FileLock> acquire(const QString& path,
                                             std::chrono::milliseconds patience,
                                             const std::function<void()>& waiting, QString* error);

    /// Creates \p path, which must not exist yet, and locks it before anyone else can.
    static std::unique_ptr<FileLock> createExclusive(const QString& path, QString* error);

    /// Locks the existing file \p path when no one holds it; nullptr when someone does or the
    /// file cannot be opened.
    static std::unique_ptr<FileLock> tryExisting(const QString& path);

    const QString& path() const { return m_path; }
    /// Gives the lock up now, for every owner of this object; the destructor then does nothing.
    void release();
    /// Whether \p path still names the file this lock holds (not removed or replaced).
    bool stillNames(const QString& path) const;

private:
    FileLock(QString path, int fd) : m_path(std::move(path)), m_fd(fd) {}
    QString m_path;
    int m_fd;
};
