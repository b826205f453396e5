// SPDX-License-Identifier: GPL-3.0-or-later
// PNG decoding with libpng.
//
// libpng reports errors by longjmp to the jump point of the call in progress. Each helper that
// calls libpng sets its own jump point and holds no C++ object with a destructor; decodePng()
// owns the C++ objects and never calls setjmp.

#include "imaging/codec_p.h"
#include "imaging/inputsource_p.h"
#include "imaging/pixels_p.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <png.h>

namespace imaging {

namespace {

// Ancillary chunks that say nothing about the pixels we produce (we do no colour management).
constexpr png_byte kIgnoredChunks[] = "bKGD\0cHRM\0eXIf\0gAMA\0hIST\0iCCP\0iTXt\0sBIT\0sPLT\0"
                                      "sRGB\0tEXt\0tIME\0zTXt";
constexpr png_alloc_size_t kMaxChunkBytes = 8 << 20;

struct Reader {
    png_structp png;
    png_infop info;
    InputSource* input;
    char message[256];
};

struct Header {
    png_uint_32 width;
    png_uint_32 height;
    int bitDepth;
    int colorType;
    int interlace;
    bool transparency;
    bool hasPhys;
    int physUnit;
    png_uint_32 physX;
    png_uint_32 physY;
    int paletteSize;
    png_color palette[256];
};

// How the rows arrive after libpng's transformations.
enum class Layout : std::uint8_t {
    Mono,      ///< 1 bit per pixel, grey (0 = black) or a two-colour palette
    Indexed,   ///< one palette index per byte
    Gray,      ///< one grey byte
    Rgb,       ///< three bytes
    GrayAlpha, ///< grey and alpha, composed on white
    RgbAlpha,  ///< RGB and alpha, composed on white
};

struct Progress {
    int pass;
    png_uint_32 row;
};

void onError(png_structp png, png_const_charp message) {
    auto* r = static_cast<Reader*>(png_get_error_ptr(png));
    std::snprintf(r->message, sizeof r->message, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

void onRead(png_structp png, png_bytep data, size_t length) {
    auto* r = static_cast<Reader*>(png_get_io_ptr(png));
    if (r->input->read(data, length) != length) {
        png_error(png, "unexpected end of file");
    }
}

// --- The only functions that call libpng. No C++ objects with destructors in here. ---

bool readInfo(Reader* r, Header* h) {
    if (setjmp(png_jmpbuf(r->png))) {
        return false;
    }
    png_set_read_fn(r->png, r, onRead);
    // Chunks we never use are skipped unread into memory: otherwise a tiny file announcing a
    // text chunk of 2 GB makes libpng allocate that much before it finds the file short.
    png_set_keep_unknown_chunks(r->png, PNG_HANDLE_CHUNK_NEVER, nullptr, 0);
    png_set_keep_unknown_chunks(r->png, PNG_HANDLE_CHUNK_NEVER, kIgnoredChunks,
                                static_cast<int>(sizeof kIgnoredChunks / 5));
    png_set_chunk_malloc_max(r->png, kMaxChunkBytes);
    png_read_info(r->png, r->info);
    png_get_IHDR(r->png, r->info, &h->width, &h->height, &h->bitDepth, &h->colorType, &h->interlace,
                 nullptr, nullptr);
    h->transparency = png_get_valid(r->png, r->info, PNG_INFO_tRNS) != 0;
    h->hasPhys = png_get_pHYs(r->png, r->info, &h->physX, &h->physY, &h->physUnit) == PNG_INFO_pHYs;
    png_colorp palette = nullptr;
    int count = 0;
    if (png_get_PLTE(r->png, r->info, &palette, &count) == PNG_INFO_PLTE) {
        h->paletteSize = std::clamp(count, 0, 256);
        std::memcpy(h->palette, palette, sizeof(png_color) * static_cast<size_t>(h->paletteSize));
    }
    return true;
}

bool setTransforms(Reader* r, const Header* h, Layout layout, int* passes, size_t* rowBytes) {
    if (setjmp(png_jmpbuf(r->png))) {
        return false;
    }
    png_structp png = r->png;
    if (h->bitDepth == 16) {
        png_set_strip_16(png);
    }
    switch (layout) {
    case Layout::Mono:
        break;
    case Layout::Indexed:
        if (h->bitDepth < 8) {
            png_set_packing(png);
        }
        break;
    case Layout::Gray:
    case Layout::GrayAlpha:
        if (h->bitDepth < 8) {
            png_set_expand_gray_1_2_4_to_8(png);
        }
        break;
    case Layout::Rgb:
        break;
    case Layout::RgbAlpha:
        if (h->colorType == PNG_COLOR_TYPE_PALETTE) {
            png_set_palette_to_rgb(png);
        }
        break;
    }
    if ((layout == Layout::GrayAlpha || layout == Layout::RgbAlpha) && h->transparency) {
        png_set_tRNS_to_alpha(png);
    }
    *passes = png_set_interlace_handling(png);
    png_read_update_info(png, r->info);
    *rowBytes = png_get_rowbytes(png, r->info);
    return true;
}

// Reads every pass into rows[0..height). Progress tells how far it got when it fails.
bool readAllRows(Reader* r, png_bytepp rows, png_uint_32 height, int passes, Progress* progress) {
    if (setjmp(png_jmpbuf(r->png))) {
        return false;
    }
    for (; progress->pass < passes; ++progress->pass) {
        for (progress->row = 0; progress->row < height; ++progress->row) {
            png_read_row(r->png, rows[progress->row], nullptr);
        }
    }
    return true;
}

bool readOneRow(Reader* r, png_bytep row) {
    if (setjmp(png_jmpbuf(r->png))) {
        return false;
    }
    png_read_row(r->png, row, nullptr);
    return true;
}

bool readEnd(Reader* r) {
    if (setjmp(png_jmpbuf(r->png))) {
        return false;
    }
    png_read_end(r->png, nullptr);
    return true;
}

// --- C++ side ---

class ReaderHolder {
public:
    explicit ReaderHolder(InputSource* input) {
        m_reader.input = input;
        m_reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &m_reader, onError, onWarning);
        if (m_reader.png != nullptr) {
            m_reader.info = png_create_info_struct(m_reader.png);
        }
    }
    ~ReaderHolder() {
        if (m_reader.png != nullptr) {
            png_destroy_read_struct(&m_reader.png, m_reader.info ? &m_reader.info : nullptr,
                                    nullptr);
        }
    }
    ReaderHolder(const ReaderHolder&) = delete;
    ReaderHolder& operator=(const ReaderHolder&) = delete;

    Reader* get() { return m_reader.png && m_reader.info ? &m_reader : nullptr; }

private:
    Reader m_reader{};
};

Layout layoutFor(const Header& h) {
    switch (h.colorType) {
    case PNG_COLOR_TYPE_GRAY:
        if (h.transparency) {
            return Layout::GrayAlpha;
        }
        return h.bitDepth == 1 ? Layout::Mono : Layout::Gray;
    case PNG_COLOR_TYPE_PALETTE:
        if (h.transparency) {
            return Layout::RgbAlpha;
        }
        return h.bitDepth == 1 ? Layout::Mono : Layout::Indexed;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        return Layout::GrayAlpha;
    case PNG_COLOR_TYPE_RGB_ALPHA:
        return Layout::RgbAlpha;
    default:
        return h.transparency ? Layout::RgbAlpha : Layout::Rgb;
    }
}

uchar overWhite(int value, int alpha) {
    return static_cast<uchar>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

void composeRow(const png_byte* in, uchar* out, int width, Layout layout) {
    if (layout == Layout::GrayAlpha) {
        for (int x = 0; x < width; ++x, in += 2) {
            out[x] = overWhite(in[0], in[1]);
        }
        return;
    }
    for (int x = 0; x < width; ++x, in += 4, out += 3) {
        out[0] = overWhite(in[0], in[3]);
        out[1] = overWhite(in[1], in[3]);
        out[2] = overWhite(in[2], in[3]);
    }
}

} // namespace

DecodeResult decodePng(InputSource& input, const DecodeRequest& request) {
    DecodeResult result;
    ReaderHolder holder(&input);
    Reader* r = holder.get();
    if (r == nullptr) {
        result.error = QStringLiteral("out of memory");
        return result;
    }
    auto header = std::make_unique<Header>();
    Header& h = *header;
    if (!readInfo(r, &h)) {
        result.error = QString::fromLocal8Bit(r->message);
        return result;
    }
    result.fullSize = QSize(static_cast<int>(std::min<png_uint_32>(h.width, INT_MAX)),
                            static_cast<int>(std::min<png_uint_32>(h.height, INT_MAX)));
    result.bitsPerSample = h.bitDepth;
    result.samplesPerPixel = png_get_channels(r->png, r->info);
    if (h.hasPhys && h.physUnit == PNG_RESOLUTION_METER && h.physX > 0 && h.physY > 0) {
        result.dpiX = dpiFromDotsPerMeter(h.physX);
        result.dpiY = dpiFromDotsPerMeter(h.physY);
    }
    if (qint64(h.width) * h.height > request.maxPixels) {
        result.error = QStringLiteral("image of %1 x %2 pixels exceeds the limit of %3 pixels")
                           .arg(h.width)
                           .arg(h.height)
                           .arg(request.maxPixels);
        return result;
    }
    if (request.kind == DecodeRequest::Kind::Header) {
        result.ok = true;
        return result;
    }

    const Layout layout = layoutFor(h);
    int passes = 1;
    size_t rowBytes = 0;
    if (!setTransforms(r, &h, layout, &passes, &rowBytes)) {
        result.error = QString::fromLocal8Bit(r->message);
        return result;
    }
    QImage::Format format = QImage::Format_RGB888;
    if (layout == Layout::Mono) {
        format = QImage::Format_Mono;
    } else if (layout == Layout::Indexed || layout == Layout::Gray || layout == Layout::GrayAlpha) {
        format = QImage::Format_Indexed8;
    }
    QImage image =
        allocateImage(h.width, h.height, format, request.maxPixels, &result.error, request.recycle);
    if (image.isNull()) {
        return result;
    }
    if (layout == Layout::Mono) {
        if (h.colorType == PNG_COLOR_TYPE_PALETTE) {
            QList<QRgb> table;
            for (int i = 0; i < std::min(h.paletteSize, 2); ++i) {
                table.append(qRgb(h.palette[i].red, h.palette[i].green, h.palette[i].blue));
            }
            image.setColorTable(paddedColorTable(table, 2));
        } else {
            image.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        }
    } else if (layout == Layout::Indexed) {
        QList<QRgb> table;
        for (int i = 0; i < h.paletteSize; ++i) {
            table.append(qRgb(h.palette[i].red, h.palette[i].green, h.palette[i].blue));
        }
        image.setColorTable(paddedColorTable(table));
    } else if (format == QImage::Format_Indexed8) {
        image.setColorTable(grayColorTable());
    }

    const bool composed = layout == Layout::GrayAlpha || layout == Layout::RgbAlpha;
    const auto height = static_cast<int>(h.height);
    const auto width = static_cast<int>(h.width);
    bool ok = true;
    int rowsDone = 0;
    if (!composed) {
        if (rowBytes > static_cast<size_t>(image.bytesPerLine())) {
            result.error = QStringLiteral("unexpected row size");
            return result;
        }
        if (passes > 1) {
            // Later passes fill in pixels of rows that earlier passes started.
            fillWhite(image, 0);
        }
        std::vector<png_bytep> rows(h.height);
        for (int y = 0; y < height; ++y) {
            rows[y] = image.scanLine(y);
        }
        Progress progress{0, 0};
        ok = readAllRows(r, rows.data(), h.height, passes, &progress);
        rowsDone = passes > 1 ? height : static_cast<int>(progress.row);
    } else if (passes > 1) {
        // An interlaced image with alpha is read whole, then composed.
        std::vector<png_byte> buffer(rowBytes * h.height);
        std::vector<png_bytep> rows(h.height);
        for (int y = 0; y < height; ++y) {
            rows[y] = buffer.data() + rowBytes * static_cast<size_t>(y);
        }
        Progress progress{0, 0};
        ok = readAllRows(r, rows.data(), h.height, passes, &progress);
        for (int y = 0; y < height; ++y) {
            composeRow(rows[y], image.scanLine(y), width, layout);
        }
        rowsDone = height;
    } else {
        std::vector<png_byte> row(rowBytes);
        for (; ok && rowsDone < height; ++rowsDone) {
            ok = readOneRow(r, row.data());
            if (ok) {
                composeRow(row.data(), image.scanLine(rowsDone), width, layout);
            }
        }
        if (!ok) {
            --rowsDone;
        }
    }
    if (ok) {
        ok = readEnd(r);
    }
    if (!ok) {
        result.error = QString::fromLocal8Bit(r->message);
        fillWhite(image, rowsDone);
    }
    result.image = image;
    result.ok = ok;
    return result;
}

} // namespace imaging
