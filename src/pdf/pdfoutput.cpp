// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/pdfoutput.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {
constexpr std::size_t kBufferSize = std::size_t{64} * 1024;
}

TPdfFileOutput::TPdfFileOutput(std::string path) : m_path(std::move(path)) {
    m_fd = ::open(m_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        fail("cannot create", errno);
    }
    struct stat status {};
    m_isRegularFile = ::fstat(m_fd, &status) == 0 && S_ISREG(status.st_mode);
    m_buffer.resize(kBufferSize);
}

TPdfFileOutput::~TPdfFileOutput() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void TPdfFileOutput::write(const char* data, std::size_t size) {
    if (m_fd < 0) {
        fail("cannot write", EBADF);
    }
    if (m_observer) {
        m_observer(data, size);
    }
    if (size >= kBufferSize) {
        flushBuffer();
        writeAll(data, size);
    } else {
        if (m_used + size > kBufferSize) {
            flushBuffer();
        }
        std::memcpy(m_buffer.data() + m_used, data, size);
        m_used += size;
    }
    m_position += size;
}

void TPdfFileOutput::finish() {
    flushBuffer();
    if (::fsync(m_fd) != 0) {
        fail("cannot sync", errno);
    }
    const int fd = m_fd;
    m_fd = -1;
    // The descriptor is released even when close reports an error, so it is not retried.
    if (::close(fd) != 0) {
        fail("cannot close", errno);
    }
    m_finished = true;
}

void TPdfFileOutput::discard() noexcept {
    m_used = 0;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    // Only a regular file is removed: a path such as a device node is left alone.
    if (m_isRegularFile && !m_finished) {
        ::unlink(m_path.c_str());
    }
}

void TPdfFileOutput::flushBuffer() {
    if (m_used > 0) {
        writeAll(m_buffer.data(), m_used);
        m_used = 0;
    }
}

void TPdfFileOutput::writeAll(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(m_fd, data, size);
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail("cannot write", errno);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void TPdfFileOutput::fail(const char* what, int error) const {
    throw std::system_error(error, std::generic_category(),
                            std::string(what) + " \"" + m_path + "\"");
}
