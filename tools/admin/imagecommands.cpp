// SPDX-License-Identifier: GPL-3.0-or-later
// image-info and image-convert: what the image component makes of a file, for support staff
// looking at a page that will not load, and for scripted checks.

#include "admincommand.h"

#include "imaging/imagereader.h"
#include "imaging/timageio.h"

#include <QTextStream>

namespace {

enum ImageExit : int {
    ExitFailed = 1,     ///< the load or save failed (IoFailed)
    ExitCannotOpen = 2, ///< the file cannot be opened or created
};

int bitsPerPixel(const QImage& image) {
    switch (image.format()) {
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        return 1;
    case QImage::Format_Indexed8:
    case QImage::Format_Grayscale8:
        return 8;
    default:
        return image.depth();
    }
}

QString resolutionText(const TImageIOParams& params) {
    if (params.dpiX <= 0 || params.dpiY <= 0) {
        return QStringLiteral("not recorded");
    }
    return QStringLiteral("%1 x %2 dpi").arg(params.dpiX).arg(params.dpiY);
}

// Loads \p path into \p io; on failure reports why and returns the exit code, else ExitOk.
int load(TImageIO& io, const QString& path, QTextStream& err) {
    try {
        io.LoadImageFile(path);
    } catch (const ImageOpenError& error) {
        err << error.message() << '\n';
        return ExitCannotOpen;
    }
    if (io.IoFailed()) {
        err << "load failed: " << path << ": " << io.lastError() << '\n';
        return ExitFailed;
    }
    return ExitOk;
}

} // namespace

/// image-info FILE: the size, bits per pixel, resolution and TIFF compression a load gives.
int runImageInfo(const QStringList& arguments, const QString&) {
    QTextStream err(stderr);
    if (arguments.size() != 1) {
        err << "usage: pelorafile-admin image-info FILE\n";
        return ExitUsage;
    }
    const QString& path = arguments.at(0);
    TImageIO io;
    if (const int code = load(io, path, err); code != ExitOk) {
        if (code == ExitFailed) {
            // The header alone may still say what the file claims to be.
            try {
                const imaging::ImageReadResult header = imaging::readImageHeader(path);
                if (header.fullSize.isValid()) {
                    err << "header: " << header.fullSize.width() << " x "
                        << header.fullSize.height() << " pixels\n";
                }
            } catch (const ImageOpenError&) {
            }
        }
        return code;
    }
    const QImage& image = io.bitmap();
    QTextStream out(stdout);
    out << "file: " << path << '\n'
        << "format: " << imaging::imageFormatName(path) << '\n'
        << "width: " << image.width() << '\n'
        << "height: " << image.height() << '\n'
        << "bits per pixel: " << bitsPerPixel(image) << '\n'
        << "resolution: " << resolutionText(io.Params()) << '\n'
        << "bits per sample: " << io.Params().bitsPerSample << '\n'
        << "samples per pixel: " << io.Params().samplesPerPixel << '\n';
    if (imaging::imageFormatName(path) == u"TIFF") {
        out << "TIFF compression: " << tiffCompressionName(io.Params().tiffCompression) << '\n';
    }
    return ExitOk;
}

/// image-convert IN OUT: loads IN and saves it as OUT in the format of OUT's extension, with
/// the resolution and TIFF compression IN had, as the page editor saves a page.
int runImageConvert(const QStringList& arguments, const QString&) {
    QTextStream err(stderr);
    if (arguments.size() != 2) {
        err << "usage: pelorafile-admin image-convert IN OUT\n";
        return ExitUsage;
    }
    TImageIO io;
    if (const int code = load(io, arguments.at(0), err); code != ExitOk) {
        return code;
    }
    const QString& target = arguments.at(1);
    try {
        io.SaveImageFile(target);
    } catch (const ImageOpenError& error) {
        err << error.message() << '\n';
        return ExitCannotOpen;
    }
    if (io.IoFailed()) {
        err << "save failed: " << target << ": " << io.lastError() << '\n';
        return ExitFailed;
    }
    QTextStream(stdout) << "wrote " << target << " (" << io.bitmap().width() << " x "
                        << io.bitmap().height() << ", " << bitsPerPixel(io.bitmap())
                        << " bits per pixel)\n";
    return ExitOk;
}
