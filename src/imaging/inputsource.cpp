// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/inputsource_p.h"

#include "imaging/imageopenerror.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace imaging {

namespace {

constexpr std::size_t kReadAhead = 64 * 1024;

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

std::size_t MemorySource::read(void* data, std::size_t size) noexcept {
    if (m_position >= m_size) {
        return 0;
    }
    const std::size_t count = std::min<std::uint64_t>(size, m_size - m_position);
    std::memcpy(data, m_data + m_position, count);
    m_position += count;
    return count;
}

bool MemorySource::seek(std::uint64_t position) noexcept {
    m_position = position;
    return true;
}

FileSource::FileSource(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    // O_NONBLOCK keeps open() from waiting on a pipe with no writer; regular files ignore it.
    m_fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (m_fd < 0) {
        throw ImageOpenError(path, errnoText(errno));
    }
    struct stat info {};
    if (::fstat(m_fd, &info) != 0) {
        const int error = errno;
        ::close(m_fd);
        throw ImageOpenError(path, errnoText(error));
    }
    if (!S_ISREG(info.st_mode)) {
        ::close(m_fd);
        throw ImageOpenError(path, S_ISDIR(info.st_mode) ? errnoText(EISDIR)
                                                         : QStringLiteral("not a regular file"));
    }
    m_size = static_cast<std::uint64_t>(info.st_size);
    m_buffer = std::make_unique<unsigned char[]>(kReadAhead);
}

FileSource::~FileSource() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

std::size_t FileSource::readAt(std::uint64_t offset, unsigned char* data,
                               std::size_t size) noexcept {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got =
            ::pread(m_fd, data + done, size - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            m_errno = errno;
            break;
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    return done;
}

bool FileSource::fill() noexcept {
    m_bufferStart = m_position;
    m_bufferLength = readAt(m_position, m_buffer.get(), kReadAhead);
    return m_bufferLength > 0;
}

std::size_t FileSource::read(void* data, std::size_t size) noexcept {
    auto* out = static_cast<unsigned char*>(data);
    std::size_t done = 0;
    while (done < size) {
        if (m_position >= m_bufferStart && m_position < m_bufferStart + m_bufferLength) {
            const std::size_t offset = m_position - m_bufferStart;
            const std::size_t count = std::min(size - done, m_bufferLength - offset);
            std::memcpy(out + done, m_buffer.get() + offset, count);
            done += count;
            m_position += count;
            continue;
        }
        if (size - done >= kReadAhead) {
            const std::size_t got = readAt(m_position, out + done, size - done);
            done += got;
            m_position += got;
            break;
        }
        if (!fill()) {
            break;
        }
    }
    return done;
}

bool FileSource::seek(std::uint64_t position) noexcept {
    m_position = position;
    return true;
}

bool MemorySink::write(const void* data, std::size_t size) noexcept {
    try {
        const std::uint64_t end = m_position + size;
        if (end > m_data.size()) {
            m_data.resize(end);
        }
        if (size > 0) {
            std::memcpy(m_data.data() + m_position, data, size);
        }
        m_position = end;
        return true;
    } catch (...) {
        return false;
    }
}

std::size_t MemorySink::read(void* data, std::size_t size) noexcept {
    if (m_position >= m_data.size()) {
        return 0;
    }
    const std::size_t count = std::min<std::uint64_t>(size, m_data.size() - m_position);
    std::memcpy(data, m_data.data() + m_position, count);
    m_position += count;
    return count;
}

bool MemorySink::seek(std::uint64_t position) noexcept {
    m_position = position;
    return true;
}

} // namespace imaging
