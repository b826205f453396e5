// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/pagefile.h"

#include "imaging/timageio.h"
#include "platform/fileattributes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>

namespace pagefile {
namespace {

/// Which file a name held: a file replaced since (a new scan, another program's rewrite) has
/// another one.
struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    long long modifiedNs = 0;
    bool operator==(const Stamp&) const = default;
};

std::optional<Stamp> stampOf(const QString& path) {
    struct stat info {};
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    return Stamp{info.st_dev, info.st_ino, info.st_size,
                 static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec};
}

QString systemError(int reason) {
    return QString::fromLocal8Bit(std::strerror(reason));
}

/// Puts the finished file \p written in the place of \p path, which must still be the file
/// \p read. The two names are exchanged in one step and the file that comes out is checked: the
/// page read goes, anything else goes back to its name.
Result replace(const QString& written, const QString& path, const Stamp& read) {
    Result result;
    const QByteArray from = QFile::encodeName(written);
    const QByteArray to = QFile::encodeName(path);
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) != 0) {
        const int reason = errno;
        if (reason == ENOENT) {
            result.outcome = Outcome::Gone;
            return result;
        }
        if (reason != EINVAL && reason != ENOSYS && reason != ENOTSUP) {
            result.outcome = Outcome::WriteFailed;
            result.error = systemError(reason);
            return result;
        }
        // A file system that cannot exchange (some network shares): check, then replace, as
        // the page editor's save does.
        const std::optional<Stamp> now = stampOf(path);
        if (!now) {
            result.outcome = Outcome::Gone;
            return result;
        }
        if (!(*now == read)) {
            result.outcome = Outcome::Changed;
            return result;
        }
        if (std::rename(from.constData(), to.constData()) != 0) {
            result.outcome = Outcome::WriteFailed;
            result.error = systemError(errno);
            return result;
        }
        result.outcome = Outcome::Straightened;
        return result;
    }
    // The page read is under the temporary name now, unless something else had taken the
    // page's name: then that goes back.
    if (stampOf(written) == read) {
        QFile::remove(written);
        result.outcome = Outcome::Straightened;
        return result;
    }
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_EXCHANGE) != 0) {
        result.outcome = Outcome::WriteFailed;
        result.error = systemError(errno);
        return result;
    }
    result.outcome = Outcome::Changed;
    return result;
}

} // namespace

QImage inPageFormat(const QImage& bitmap, QImage::Format format, const QList<QRgb>& colours) {
    switch (format) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return bitmap.convertToFormat(QImage::Format_Mono, Qt::ThresholdDither);
    case QImage::Format_Indexed8:
        return colours.isEmpty()
                   ? bitmap.convertToFormat(QImage::Format_Grayscale8)
                   : bitmap.convertToFormat(QImage::Format_Indexed8, colours, Qt::ThresholdDither);
    case QImage::Format_Grayscale8:
        return bitmap.convertToFormat(QImage::Format_Grayscale8);
    default:
        return bitmap.convertToFormat(QImage::Format_RGB888);
    }
}

struct Straightening::Pending {
    QString path;
    Stamp read;
    QTemporaryFile written;
};

Straightening::Straightening(const QString& path) {
    const QFileInfo page(path);
    if (page.suffix().toLower() == QStringLiteral("dcm")) {
        m_result.outcome = Outcome::WriteProtected;
        return;
    }
    const std::optional<Stamp> before = stampOf(path);
    if (!before) {
        m_result.outcome = Outcome::Gone;
        return;
    }
    if (fileattributes::isReadOnly(page)) {
        m_result.outcome = Outcome::WriteProtected;
        return;
    }
    TImageIO io;
    try {
        io.LoadImageFile(path);
    } catch (const ImageOpenError& error) {
        m_result.error = error.reason();
        return;
    }
    if (io.IoFailed() || io.bitmap().isNull()) {
        m_result.error = io.lastError();
        return;
    }
    if (stampOf(path) != before) {
        m_result.outcome = Outcome::Changed; // rewritten while it was read
        return;
    }
    const QImage loaded = io.bitmap();
    const skew::Straightening straightening = skew::straighten(loaded);
    m_result.degrees = straightening.degrees;
    switch (straightening.outcome) {
    case skew::Outcome::Straightened:
        break;
    case skew::Outcome::AlreadyLevel:
        m_result.outcome = Outcome::AlreadyLevel;
        return;
    case skew::Outcome::TooSkewed:
        m_result.outcome = Outcome::TooSkewed;
        return;
    case skew::Outcome::NoTextLines:
        m_result.outcome = Outcome::NoTextLines;
        return;
    }

    // A file of our own beside the page, hidden from intake, with the page's extension so it is
    // written in the page's format and with the parameters it was read with.
    auto pending = std::make_unique<Pending>();
    pending->path = path;
    pending->read = *before;
    pending->written.setFileTemplate(page.dir().filePath(
        QStringLiteral(".%1.XXXXXX.%2").arg(page.completeBaseName(), page.suffix())));
    m_result.outcome = Outcome::WriteFailed;
    if (!pending->written.open()) {
        m_result.error = pending->written.errorString();
        return;
    }
    pending->written.close();
    io.bitmap() = inPageFormat(straightening.image, loaded.format(), loaded.colorTable());
    try {
        io.SaveImageFile(pending->written.fileName());
    } catch (const ImageOpenError& error) {
        m_result.error = error.reason();
        return;
    }
    if (io.IoFailed()) {
        m_result.error = io.lastError();
        return;
    }
    QFile::setPermissions(pending->written.fileName(), page.permissions());
    m_result.outcome = Outcome::Straightened;
    m_pending = std::move(pending);
}

Straightening::~Straightening() = default;

const Result& Straightening::result() const {
    return m_result;
}

Result Straightening::commit() {
    if (!m_pending) {
        return m_result;
    }
    const Result replaced =
        replace(m_pending->written.fileName(), m_pending->path, m_pending->read);
    if (replaced.outcome == Outcome::Straightened) {
        m_pending->written.setAutoRemove(false); // it held the page read, and is gone now
    }
    m_pending.reset();
    m_result.outcome = replaced.outcome;
    m_result.error = replaced.error;
    return m_result;
}

Result straightenFile(const QString& path) {
    Straightening straightening(path);
    return straightening.commit();
}

QString describe(const Result& result) {
    switch (result.outcome) {
    case Outcome::Straightened:
        return skew::describe(skew::Outcome::Straightened, result.degrees);
    case Outcome::AlreadyLevel:
        return skew::describe(skew::Outcome::AlreadyLevel, result.degrees);
    case Outcome::TooSkewed:
        return skew::describe(skew::Outcome::TooSkewed, result.degrees);
    case Outcome::NoTextLines:
        return skew::describe(skew::Outcome::NoTextLines, result.degrees);
    case Outcome::Unreadable:
        return QStringLiteral("ページを読み込めないため、補正しませんでした。");
    case Outcome::WriteProtected:
        return QStringLiteral("書き込み禁止のため、補正しませんでした。");
    case Outcome::Gone:
        return QStringLiteral("ページのファイルがなくなったため、補正しませんでした。");
    case Outcome::Changed:
        return QStringLiteral("ページのファイルが他で置き換えられたため、補正しませんでした。");
    case Outcome::WriteFailed:
        break;
    }
    return QStringLiteral("＊＊＊　ファイル保存に失敗しました。（%1）").arg(result.error);
}

} // namespace pagefile
