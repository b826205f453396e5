// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// SHA-256 of a byte stream, fed piece by piece, and of a file read through a buffer. The
/// digest is written as 64 lower-case hexadecimal characters, the form the index stores.

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>

class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void add(const char* data, std::size_t size);
    /// The digest of everything added; the object may not be fed afterwards.
    QByteArray hexDigest();

    /// The digest of the file at \p path; std::nullopt, with the reason in \p error, when it
    /// cannot be read to its end.
    static std::optional<QByteArray> ofFile(const QString& path, QString* error);

    /// Frees what the crypto library keeps for the calling thread. A pooled thread that hashed
    /// calls it when its task is done: the library frees it only when the thread ends, and a
    /// thread that ends while the process exits leaves it behind.
    static void releaseThreadState();

private:
    struct Context;
    std::unique_ptr<Context> m_context;
};
