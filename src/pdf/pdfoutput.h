// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Byte sinks the PDF writer serialises into: an in-memory one and a buffered file.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

/// A sequential byte writer that knows how many bytes it has taken.
class TPdfOutput {
public:
    TPdfOutput() = default;
    virtual ~TPdfOutput() = default;
    TPdfOutput(const TPdfOutput&) = delete;
    TPdfOutput& operator=(const TPdfOutput&) = delete;

    /// Appends \p size bytes; throws when the bytes cannot be taken.
    virtual void write(const char* data, std::size_t size) = 0;
    /// Number of bytes written so far: the offset of the next byte.
    virtual std::uint64_t position() const = 0;

    void write(std::string_view bytes) { write(bytes.data(), bytes.size()); }
};

/// Collects the bytes in memory.
class TPdfMemoryOutput : public TPdfOutput {
public:
    void write(const char* data, std::size_t size) override { m_bytes.append(data, size); }
    std::uint64_t position() const override { return m_bytes.size(); }
    using TPdfOutput::write;

    const std::string& bytes() const { return m_bytes; }

private:
    std::string m_bytes;
};

/// Writes a file through a buffer; large writes go straight to the file so that image data is
/// never copied on its way out. Errors throw std::system_error with the path and the OS reason.
class TPdfFileOutput : public TPdfOutput {
public:
    /// Creates \p path, or truncates it when it exists.
    explicit TPdfFileOutput(std::string path);
    /// Closes the file without flushing what is still buffered unless finish() was called;
    /// never throws.
    ~TPdfFileOutput() override;

    void write(const char* data, std::size_t size) override;
    std::uint64_t position() const override { return m_position; }
    using TPdfOutput::write;

    /// Flushes the buffer, makes the contents durable (fsync) and closes the file.
    void finish();
    /// Closes the file and removes it unless finish() succeeded: for a file that is known to be
    /// incomplete. Never throws.
    void discard() noexcept;

    const std::string& path() const { return m_path; }

    /// Sees every byte in the order it goes to the file, as it is handed in: a checksum of the
    /// file costs no second read of it.
    using Observer = std::function<void(const char* data, std::size_t size)>;
    void setObserver(Observer observer) { m_observer = std::move(observer); }

private:
    void flushBuffer();
    void writeAll(const char* data, std::size_t size);
    [[noreturn]] void fail(const char* what, int error) const;

    std::string m_path;
    int m_fd = -1;
    std::vector<char> m_buffer;
    std::size_t m_used = 0;
    std::uint64_t m_position = 0;
    bool m_isRegularFile = false;
    bool m_finished = false;
    Observer m_observer;
};
