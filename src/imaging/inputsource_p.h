// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Byte sources the decoders read from and the sink the encoders write to. Decoders never see a
// path: a file and a buffer in memory (fuzzing, tests) look the same to them.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace imaging {

class InputSource {
public:
    InputSource() = default;
    InputSource(const InputSource&) = delete;
    InputSource& operator=(const InputSource&) = delete;
    virtual ~InputSource() = default;

    /// Copies up to \p size bytes from the current position and advances it. Fewer bytes come
    /// back only at the end of the data or after a read error.
    virtual std::size_t read(void* data, std::size_t size) noexcept = 0;
    /// Moves the read position; a position past the end is allowed and reads nothing.
    virtual bool seek(std::uint64_t position) noexcept = 0;
    virtual std::uint64_t position() const noexcept = 0;
    virtual std::uint64_t size() const noexcept = 0;
    /// Non-zero (an errno value) after a read of the underlying file failed.
    virtual int readError() const noexcept { return 0; }
};

class MemorySource final : public InputSource {
public:
    MemorySource(const void* data, std::size_t size)
        : m_data(static_cast<const unsigned char*>(data)), m_size(size) {}

    std::size_t read(void* data, std::size_t size) noexcept override;
    bool seek(std::uint64_t position) noexcept override;
    std::uint64_t position() const noexcept override { return m_position; }
    std::uint64_t size() const noexcept override { return m_size; }

private:
    const unsigned char* m_data;
    std::size_t m_size;
    std::uint64_t m_position = 0;
};

/// A regular file opened for reading, with a read-ahead buffer.
class FileSource final : public InputSource {
public:
    /// Opens \p path. Throws ImageOpenError when it cannot be opened or is not a regular file
    /// (a folder, a pipe or a device would block or never end).
    explicit FileSource(const QString& path);
    ~FileSource() override;

    std::size_t read(void* data, std::size_t size) noexcept override;
    bool seek(std::uint64_t position) noexcept override;
    std::uint64_t position() const noexcept override { return m_position; }
    std::uint64_t size() const noexcept override { return m_size; }
    int readError() const noexcept override { return m_errno; }

private:
    bool fill() noexcept;
    std::size_t readAt(std::uint64_t offset, unsigned char* data, std::size_t size) noexcept;

    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::uint64_t m_position = 0;
    std::unique_ptr<unsigned char[]> m_buffer;
    std::uint64_t m_bufferStart = 0;
    std::size_t m_bufferLength = 0;
    int m_errno = 0;
};

/// A growable, seekable byte buffer that encoders write into before the file is replaced.
class MemorySink {
public:
    /// Writes at the current position, growing the buffer; false when memory runs out.
    bool write(const void* data, std::size_t size) noexcept;
    std::size_t read(void* data, std::size_t size) noexcept;
    bool seek(std::uint64_t position) noexcept;
    std::uint64_t position() const noexcept { return m_position; }
    std::uint64_t size() const noexcept { return m_data.size(); }
    const std::vector<unsigned char>& data() const noexcept { return m_data; }

private:
    std::vector<unsigned char> m_data;
    std::uint64_t m_position = 0;
};

} // namespace imaging
