// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/filelock.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QString systemError(const QString& path, int reason) {
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(reason)));
}

/// One non-blocking attempt; errno tells a held lock (EAGAIN/EACCES) from a failure.
bool tryLock(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

bool heldByAnother(int reason) {
    return reason == EAGAIN || reason == EACCES;
}

} // namespace

FileLock::~FileLock() {
    release();
}

void FileLock::release() {
    if (m_fd >= 0) {
        ::close(m_fd); // the lock goes with the descriptor
        m_fd = -1;
    }
}

std::unique_ptr<FileLock> FileLock::acquire(const QString& path, std::chrono::milliseconds patience,
                                            const std::function<void()>& waiting, QString* error) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (error) {
            *error = systemError(path, errno);
        }
        return nullptr;
    }
    // Polling rather than F_OFD_SETLKW: a wait that blocks in the kernel could not be given up
    // after the patience, and network file systems do not all interrupt it.
    const auto deadline = std::chrono::steady_clock::now() + patience;
    bool announced = false;
    while (!tryLock(fd)) {
        const int reason = errno;
        if (!heldByAnother(reason) || std::chrono::steady_clock::now() >= deadline) {
            if (error) {
                *error = heldByAnother(reason)
                             ? QStringLiteral("%1: held by another save for too long").arg(path)
                             : systemError(path, reason);
            }
            ::close(fd);
            return nullptr;
        }
        if (!announced && waiting) {
            waiting();
            announced = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::unique_ptr<FileLock>(new FileLock(path, fd));
}

std::unique_ptr<FileLock> FileLock::createExclusive(const QString& path, QString* error) {
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (error) {
            *error = systemError(path, errno);
        }
        return nullptr;
    }
    if (!tryLock(fd)) {
        // Nobody else can know the new name yet, so only a failing lock service gets here.
        if (error) {
            *error = systemError(path, errno);
        }
        ::close(fd);
        ::unlink(QFile::encodeName(path).constData());
        return nullptr;
    }
    return std::unique_ptr<FileLock>(new FileLock(path, fd));
}

std::unique_ptr<FileLock> FileLock::tryExisting(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    if (!tryLock(fd)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<FileLock>(new FileLock(path, fd));
}

bool FileLock::stillNames(const QString& path) const {
    struct stat held {};
    struct stat named {};
    return ::fstat(m_fd, &held) == 0 && ::lstat(QFile::encodeName(path).constData(), &named) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}
