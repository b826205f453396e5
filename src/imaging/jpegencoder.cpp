// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/jpegencoder.h"

#include "imaging/codec_p.h"
#include "imaging/inputsource_p.h"

namespace imaging {

QByteArray encodeJpegBytes(const QImage& image, int quality, QString* error) {
    TImageIOParams params;
    params.jpegQuality = quality;
    params.jpegProgressive = false;
    params.dpiX = 0;
    params.dpiY = 0;
    MemorySink sink;
    QString why;
    if (!encodeJpeg(image, params, sink, &why)) {
        if (error) {
            *error = why;
        }
        return {};
    }
    const auto& data = sink.data();
    return QByteArray(reinterpret_cast<const char*>(data.data()),
                      static_cast<qsizetype>(data.size()));
}

} // namespace imaging
