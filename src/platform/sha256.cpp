// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/sha256.h"

#include <QFile>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <vector>

// The system's crypto library uses the processor's SHA instructions where it has them: a
// chart is hashed at the speed it can be read.
struct Sha256::Context {
    EVP_MD_CTX* digest = EVP_MD_CTX_new();
    ~Context() { EVP_MD_CTX_free(digest); }
};

Sha256::Sha256() : m_context(std::make_unique<Context>()) {
    EVP_DigestInit_ex(m_context->digest, EVP_sha256(), nullptr);
}

Sha256::~Sha256() = default;

void Sha256::add(const char* data, std::size_t size) {
    EVP_DigestUpdate(m_context->digest, data, size);
}

QByteArray Sha256::hexDigest() {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(m_context->digest, digest, &length);
    return QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex();
}

std::optional<QByteArray> Sha256::ofFile(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    Sha256 hash;
    std::vector<char> buffer(1 << 20);
    for (;;) {
        const qint64 got = file.read(buffer.data(), qint64(buffer.size()));
        if (got < 0) {
            *error = QStringLiteral("%1: %2").arg(path, file.errorString());
            return std::nullopt;
        }
        if (got == 0) {
            break;
        }
        hash.add(buffer.data(), std::size_t(got));
    }
    return hash.hexDigest();
}

void Sha256::releaseThreadState() {
    OPENSSL_thread_stop();
}
