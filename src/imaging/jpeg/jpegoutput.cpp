// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG encoding with the IJG API of libjpeg-turbo: baseline (unless the parameters ask for
// progressive), YCbCr from 24-bit RGB, JFIF with the resolution of the parameters.
//
// As in jpeginput.cpp, libjpeg's longjmp lands only in compress(), which holds no C++ object.

#include "imaging/codec_p.h"
#include "imaging/inputsource_p.h"
#include "imaging/pixels_p.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <memory>

#include <jpeglib.h>
// jpeglib.h must come first.
#include <jerror.h>

namespace imaging {

namespace {

constexpr std::size_t kOutputBufferSize = 64 * 1024;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};

struct DestinationManager {
    jpeg_destination_mgr pub;
    MemorySink* sink;
    JOCTET buffer[kOutputBufferSize];
};

struct Writer {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    DestinationManager dest;
    bool created;
};

struct Settings {
    const uchar* pixels;
    qsizetype bytesPerLine;
    JDIMENSION width;
    JDIMENSION height;
    int quality;
    bool progressive;
    int dpiX;
    int dpiY;
};

void errorExit(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void outputMessage(j_common_ptr) {}

void initDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<DestinationManager*>(cinfo->dest);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kOutputBufferSize;
}

boolean emptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<DestinationManager*>(cinfo->dest);
    if (!dest->sink->write(dest->buffer, kOutputBufferSize)) {
        ERREXIT(cinfo, JERR_FILE_WRITE);
    }
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kOutputBufferSize;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<DestinationManager*>(cinfo->dest);
    const std::size_t count = kOutputBufferSize - dest->pub.free_in_buffer;
    if (count > 0 && !dest->sink->write(dest->buffer, count)) {
        ERREXIT(cinfo, JERR_FILE_WRITE);
    }
}

// The only function that calls libjpeg. No C++ objects with destructors in here.
bool compress(Writer* w, MemorySink* sink, const Settings* s) {
    w->cinfo.err = jpeg_std_error(&w->err.pub);
    w->err.pub.error_exit = errorExit;
    w->err.pub.output_message = outputMessage;
    if (setjmp(w->err.jump)) {
        return false;
    }
    w->created = true;
    jpeg_create_compress(&w->cinfo);
    w->dest.sink = sink;
    w->dest.pub.init_destination = initDestination;
    w->dest.pub.empty_output_buffer = emptyOutputBuffer;
    w->dest.pub.term_destination = termDestination;
    w->cinfo.dest = &w->dest.pub;
    w->cinfo.image_width = s->width;
    w->cinfo.image_height = s->height;
    w->cinfo.input_components = 3;
    w->cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&w->cinfo);
    jpeg_set_quality(&w->cinfo, s->quality, TRUE);
    if (s->progressive) {
        jpeg_simple_progression(&w->cinfo);
    }
    w->cinfo.write_JFIF_header = TRUE;
    if (s->dpiX > 0 && s->dpiY > 0) {
        w->cinfo.density_unit = 1;
        w->cinfo.X_density = static_cast<UINT16>(std::min(s->dpiX, 65535));
        w->cinfo.Y_density = static_cast<UINT16>(std::min(s->dpiY, 65535));
    } else {
        w->cinfo.density_unit = 0;
        w->cinfo.X_density = 1;
        w->cinfo.Y_density = 1;
    }
    jpeg_start_compress(&w->cinfo, TRUE);
    JSAMPROW rows[16];
    while (w->cinfo.next_scanline < w->cinfo.image_height) {
        JDIMENSION count = 0;
        while (count < 16 && w->cinfo.next_scanline + count < w->cinfo.image_height) {
            // libjpeg takes non-const rows but only reads them.
            rows[count] = const_cast<JSAMPROW>(s->pixels +
                                               (w->cinfo.next_scanline + count) * s->bytesPerLine);
            ++count;
        }
        jpeg_write_scanlines(&w->cinfo, rows, count);
    }
    jpeg_finish_compress(&w->cinfo);
    return true;
}

struct WriterDeleter {
    void operator()(Writer* w) const {
        if (w->created) {
            jpeg_destroy_compress(&w->cinfo);
        }
        delete w;
    }
};

} // namespace

bool encodeJpeg(const QImage& image, const TImageIOParams& params, MemorySink& sink,
                QString* error) {
    // 1-bit and 8-bit bitmaps are expanded to 24-bit colour.
    const QImage rgb = image.format() == QImage::Format_RGB888
                           ? image
                           : image.convertToFormat(QImage::Format_RGB888);
    if (rgb.isNull()) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    if (rgb.width() > JPEG_MAX_DIMENSION || rgb.height() > JPEG_MAX_DIMENSION) {
        *error = QStringLiteral("image too large for JPEG (%1 x %2 pixels)")
                     .arg(rgb.width())
                     .arg(rgb.height());
        return false;
    }
    const Settings settings{rgb.constBits(),
                            rgb.bytesPerLine(),
                            static_cast<JDIMENSION>(rgb.width()),
                            static_cast<JDIMENSION>(rgb.height()),
                            std::clamp(params.jpegQuality, 1, 100),
                            params.jpegProgressive,
                            params.dpiX,
                            params.dpiY};
    std::unique_ptr<Writer, WriterDeleter> writer(new Writer());
    if (!compress(writer.get(), &sink, &settings)) {
        *error = QString::fromLocal8Bit(writer->err.message);
        return false;
    }
    return true;
}

} // namespace imaging
