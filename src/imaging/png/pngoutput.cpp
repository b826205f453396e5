// SPDX-License-Identifier: GPL-3.0-or-later
// PNG encoding with libpng: 1-bit grey for black-and-white, 1-bit palette for other two-colour
// bitmaps, 8-bit grey, 8-bit palette or 24-bit RGB, with the resolution in a pHYs chunk.
//
// As in pnginput.cpp, libpng's longjmp lands only in writePng(), which holds no C++ object.

#include "imaging/codec_p.h"
#include "imaging/inputsource_p.h"
#include "imaging/pixels_p.h"

#include <cstdio>
#include <vector>

#include <png.h>

namespace imaging {

namespace {

// Level 6 compresses a 300-dpi colour page about as well as 9 in a fraction of the time.
constexpr int kCompressionLevel = 6;

struct Writer {
    png_structp png;
    png_infop info;
    MemorySink* sink;
    char message[256];
};

struct Settings {
    const uchar* pixels;
    qsizetype bytesPerLine;
    png_uint_32 width;
    png_uint_32 height;
    int bitDepth;
    int colorType;
    const png_color* palette;
    int paletteSize;
    png_uint_32 dotsPerMeterX;
    png_uint_32 dotsPerMeterY;
};

void onError(png_structp png, png_const_charp message) {
    auto* w = static_cast<Writer*>(png_get_error_ptr(png));
    std::snprintf(w->message, sizeof w->message, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void onWrite(png_structp png, png_bytep data, size_t length) {
    auto* w = static_cast<Writer*>(png_get_io_ptr(png));
    if (!w->sink->write(data, length)) {
        png_error(png, "out of memory");
    }
}

void onFlush(png_structp) {}

// The only function that calls libpng. No C++ objects with destructors in here.
bool writePng(Writer* w, const Settings* s) {
    if (setjmp(png_jmpbuf(w->png))) {
        return false;
    }
    png_set_write_fn(w->png, w, onWrite, onFlush);
    png_set_compression_level(w->png, kCompressionLevel);
    png_set_IHDR(w->png, w->info, s->width, s->height, s->bitDepth, s->colorType,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (s->colorType == PNG_COLOR_TYPE_PALETTE) {
        png_set_PLTE(w->png, w->info, s->palette, s->paletteSize);
    }
    if (s->dotsPerMeterX > 0 && s->dotsPerMeterY > 0) {
        png_set_pHYs(w->png, w->info, s->dotsPerMeterX, s->dotsPerMeterY, PNG_RESOLUTION_METER);
    }
    png_write_info(w->png, w->info);
    for (png_uint_32 y = 0; y < s->height; ++y) {
        png_write_row(w->png, s->pixels + y * s->bytesPerLine);
    }
    png_write_end(w->png, nullptr);
    return true;
}

class WriterHolder {
public:
    explicit WriterHolder(MemorySink* sink) {
        m_writer.sink = sink;
        m_writer.png =
            png_create_write_struct(PNG_LIBPNG_VER_STRING, &m_writer, onError, onWarning);
        if (m_writer.png != nullptr) {
            m_writer.info = png_create_info_struct(m_writer.png);
        }
    }
    ~WriterHolder() {
        if (m_writer.png != nullptr) {
            png_destroy_write_struct(&m_writer.png, m_writer.info ? &m_writer.info : nullptr);
        }
    }
    WriterHolder(const WriterHolder&) = delete;
    WriterHolder& operator=(const WriterHolder&) = delete;

    Writer* get() { return m_writer.png && m_writer.info ? &m_writer : nullptr; }

private:
    Writer m_writer{};
};

} // namespace

bool encodePng(const QImage& image, const TImageIOParams& params, MemorySink& sink,
               QString* error) {
    const EncodeImage prepared = prepareForEncoding(image, true);
    if (prepared.image.isNull()) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    Settings s{};
    s.pixels = prepared.image.constBits();
    s.bytesPerLine = prepared.image.bytesPerLine();
    s.width = static_cast<png_uint_32>(prepared.image.width());
    s.height = static_cast<png_uint_32>(prepared.image.height());
    std::vector<png_color> palette;
    switch (prepared.layout) {
    case EncodeLayout::Bilevel:
        // Grey 1-bit: 0 is black, as in the prepared bitmap.
        s.bitDepth = 1;
        s.colorType = PNG_COLOR_TYPE_GRAY;
        break;
    case EncodeLayout::Gray:
        s.bitDepth = 8;
        s.colorType = PNG_COLOR_TYPE_GRAY;
        break;
    case EncodeLayout::TwoColour:
    case EncodeLayout::Palette:
        s.bitDepth = prepared.layout == EncodeLayout::TwoColour ? 1 : 8;
        s.colorType = PNG_COLOR_TYPE_PALETTE;
        for (QRgb color : prepared.image.colorTable()) {
            palette.push_back(png_color{static_cast<png_byte>(qRed(color)),
                                        static_cast<png_byte>(qGreen(color)),
                                        static_cast<png_byte>(qBlue(color))});
        }
        s.palette = palette.data();
        s.paletteSize = static_cast<int>(palette.size());
        break;
    case EncodeLayout::Rgb:
        s.bitDepth = 8;
        s.colorType = PNG_COLOR_TYPE_RGB;
        break;
    }
    if (params.dpiX > 0 && params.dpiY > 0) {
        s.dotsPerMeterX = static_cast<png_uint_32>(dotsPerMeterFromDpi(params.dpiX));
        s.dotsPerMeterY = static_cast<png_uint_32>(dotsPerMeterFromDpi(params.dpiY));
    }
    WriterHolder holder(&sink);
    Writer* w = holder.get();
    if (w == nullptr) {
        *error = QStringLiteral("out of memory");
        return false;
    }
    if (!writePng(w, &s)) {
        *error = QString::fromLocal8Bit(w->message);
        return false;
    }
    return true;
}

} // namespace imaging
