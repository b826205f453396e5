// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG decoding with the IJG API of libjpeg-turbo.
//
// libjpeg reports errors by longjmp. Every call into it happens inside one of the small helpers
// below, each of which sets its own jump point and holds no C++ object with a destructor, so a
// jump never skips one. decodeJpeg() itself never calls setjmp and owns all the C++ objects.

#include "imaging/codec_p.h"
#include "imaging/inputsource_p.h"
#include "imaging/pixels_p.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>
// jpeglib.h must come first.
#include <jerror.h>

namespace imaging {

namespace {

constexpr std::size_t kInputBufferSize = 64 * 1024;
// A progressive file can hold thousands of tiny scans that take minutes to decode; a scanner
// writes about ten.
constexpr int kMaxScans = 1000;
// Rows decoded per call when they go through a temporary buffer.
constexpr JDIMENSION kBatchRows = 16;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool dataLost;
};

struct SourceManager {
    jpeg_source_mgr pub;
    InputSource* input;
    bool started;
    JOCTET buffer[kInputBufferSize];
};

struct Reader {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    SourceManager source;
    jpeg_progress_mgr progress;
    bool created;
};

ErrorManager* errorManager(j_common_ptr cinfo) {
    return reinterpret_cast<ErrorManager*>(cinfo->err);
}

void errorExit(j_common_ptr cinfo) {
    ErrorManager* err = errorManager(cinfo);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

void emitMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) {
        return; // trace output
    }
    ++cinfo->err->num_warnings;
    // Warnings that mean pixels are missing or garbage fail the load: data ended early, a scan
    // stopped before its last block, a bad code or lost restart markers. Others (stray bytes
    // before a marker, odd JFIF versions) are common in files that display fine, so they pass.
    switch (cinfo->err->msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_MUST_RESYNC: {
        ErrorManager* err = errorManager(cinfo);
        if (!err->dataLost) {
            err->dataLost = true;
            (*cinfo->err->format_message)(cinfo, err->message);
        }
        break;
    }
    default:
        break;
    }
}

void outputMessage(j_common_ptr) {}

void initSource(j_decompress_ptr) {}

boolean fillInputBuffer(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<SourceManager*>(cinfo->src);
    std::size_t count = src->input->read(src->buffer, kInputBufferSize);
    if (count == 0) {
        if (!src->started) {
            ERREXIT(cinfo, JERR_INPUT_EMPTY);
        }
        // Hand the decoder an end-of-image marker so that it finishes what it has.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        count = 2;
    }
    src->started = true;
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = count;
    return TRUE;
}

void skipInputData(j_decompress_ptr cinfo, long count) {
    auto* src = reinterpret_cast<SourceManager*>(cinfo->src);
    if (count <= 0) {
        return;
    }
    const auto wanted = static_cast<std::size_t>(count);
    if (wanted <= src->pub.bytes_in_buffer) {
        src->pub.next_input_byte += wanted;
        src->pub.bytes_in_buffer -= wanted;
        return;
    }
    src->input->seek(src->input->position() + (wanted - src->pub.bytes_in_buffer));
    src->pub.bytes_in_buffer = 0;
}

void termSource(j_decompress_ptr) {}

void progressMonitor(j_common_ptr cinfo) {
    if (cinfo->is_decompressor &&
        reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans) {
        ErrorManager* err = errorManager(cinfo);
        std::snprintf(err->message, sizeof err->message, "more than %d scans", kMaxScans);
        std::longjmp(err->jump, 1);
    }
}

// --- The only functions that call libjpeg. No C++ objects with destructors in here. ---

bool readHeader(Reader* r, InputSource* input, long maxMemory) {
    r->cinfo.err = jpeg_std_error(&r->err.pub);
    r->err.pub.error_exit = errorExit;
    r->err.pub.emit_message = emitMessage;
    r->err.pub.output_message = outputMessage;
    if (setjmp(r->err.jump)) {
        return false;
    }
    r->created = true;
    jpeg_create_decompress(&r->cinfo);
    r->cinfo.mem->max_memory_to_use = maxMemory;
    r->source.input = input;
    r->source.pub.init_source = initSource;
    r->source.pub.fill_input_buffer = fillInputBuffer;
    r->source.pub.skip_input_data = skipInputData;
    r->source.pub.resync_to_restart = jpeg_resync_to_restart;
    r->source.pub.term_source = termSource;
    r->cinfo.src = &r->source.pub;
    r->progress.progress_monitor = progressMonitor;
    r->cinfo.progress = &r->progress;
    jpeg_read_header(&r->cinfo, TRUE);
    return true;
}

bool startDecompress(Reader* r, J_COLOR_SPACE outColorSpace, unsigned scaleNum,
                     JDIMENSION cropWidth) {
    if (setjmp(r->err.jump)) {
        return false;
    }
    r->cinfo.out_color_space = outColorSpace;
    r->cinfo.scale_num = scaleNum;
    r->cinfo.scale_denom = 8;
    jpeg_start_decompress(&r->cinfo);
    if (cropWidth > 0 && cropWidth < r->cinfo.output_width) {
        JDIMENSION xOffset = 0;
        JDIMENSION width = cropWidth;
        jpeg_crop_scanline(&r->cinfo, &xOffset, &width);
    }
    return true;
}

// Reads rows until output_scanline reaches endRow; rows[i] receives row (first + i) where first
// is output_scanline on entry.
bool readRows(Reader* r, JSAMPARRAY rows, JDIMENSION endRow) {
    if (setjmp(r->err.jump)) {
        return false;
    }
    const JDIMENSION first = r->cinfo.output_scanline;
    // Once data is lost the rest would only be filler: stop there.
    while (r->cinfo.output_scanline < endRow && !r->err.dataLost) {
        const JDIMENSION done = r->cinfo.output_scanline - first;
        if (jpeg_read_scanlines(&r->cinfo, rows + done, endRow - r->cinfo.output_scanline) == 0) {
            std::snprintf(r->err.message, sizeof r->err.message, "decoder returned no rows");
            return false;
        }
    }
    return !r->err.dataLost;
}

// --- C++ side ---

struct ReaderDeleter {
    void operator()(Reader* r) const {
        if (r->created) {
            jpeg_destroy_decompress(&r->cinfo);
        }
        delete r;
    }
};

int dpiFromDensity(int unit, int density) {
    if (density <= 0) {
        return 0;
    }
    if (unit == 1) {
        return density;
    }
    if (unit == 2) {
        return static_cast<int>(std::lround(density * 2.54));
    }
    return 0;
}

unsigned scaleNumFor(const jpeg_decompress_struct& cinfo, QSize minimum) {
    for (unsigned num : {1U, 2U, 4U}) {
        const qint64 w = (qint64(cinfo.image_width) * num + 7) / 8;
        const qint64 h = (qint64(cinfo.image_height) * num + 7) / 8;
        if (w >= minimum.width() && h >= minimum.height()) {
            return num;
        }
    }
    return 8;
}

void cmykToRgb(const JSAMPLE* in, uchar* out, int width, bool adobeInverted) {
    for (int x = 0; x < width; ++x, in += 4, out += 3) {
        int c = in[0], m = in[1], y = in[2], k = in[3];
        if (!adobeInverted) {
            c = 255 - c;
            m = 255 - m;
            y = 255 - y;
            k = 255 - k;
        }
        out[0] = static_cast<uchar>(c * k / 255);
        out[1] = static_cast<uchar>(m * k / 255);
        out[2] = static_cast<uchar>(y * k / 255);
    }
}

} // namespace

DecodeResult decodeJpeg(InputSource& input, const DecodeRequest& request) {
    DecodeResult result;
    std::unique_ptr<Reader, ReaderDeleter> reader(new Reader());
    Reader* r = reader.get();
    const long maxMemory = static_cast<long>(std::min<qint64>(request.maxPixels * 4, 1L << 30));
    if (!readHeader(r, &input, maxMemory)) {
        result.error = QString::fromLocal8Bit(r->err.message);
        return result;
    }
    jpeg_decompress_struct& cinfo = r->cinfo;
    result.fullSize = QSize(static_cast<int>(std::min<JDIMENSION>(cinfo.image_width, INT_MAX)),
                            static_cast<int>(std::min<JDIMENSION>(cinfo.image_height, INT_MAX)));
    if (cinfo.saw_JFIF_marker) {
        result.dpiX = dpiFromDensity(cinfo.density_unit, cinfo.X_density);
        result.dpiY = dpiFromDensity(cinfo.density_unit, cinfo.Y_density);
        if (result.dpiX == 0 || result.dpiY == 0) {
            result.dpiX = result.dpiY = 0;
        }
    }
    result.bitsPerSample = cinfo.data_precision;
    result.samplesPerPixel = cinfo.num_components;
    if (qint64(cinfo.image_width) * cinfo.image_height > request.maxPixels) {
        result.error = QStringLiteral("image of %1 x %2 pixels exceeds the limit of %3 pixels")
                           .arg(cinfo.image_width)
                           .arg(cinfo.image_height)
                           .arg(request.maxPixels);
        return result;
    }
    if (request.kind == DecodeRequest::Kind::Header) {
        result.ok = true;
        return result;
    }

    const bool gray = cinfo.jpeg_color_space == JCS_GRAYSCALE;
    const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
    // libjpeg gives the luminance of a colour file without the colour conversion, and skips
    // the inverse transforms of the colour planes.
    const bool luminance = request.luminance && !cmyk;
    const J_COLOR_SPACE outSpace = gray || luminance ? JCS_GRAYSCALE : (cmyk ? JCS_CMYK : JCS_RGB);
    const bool topLeft = request.kind == DecodeRequest::Kind::TopLeft;
    unsigned scaleNum = 8;
    JDIMENSION cropWidth = 0;
    if (request.kind == DecodeRequest::Kind::AtLeast) {
        scaleNum = scaleNumFor(cinfo, request.size);
    } else if (topLeft && request.size.width() > 0 &&
               static_cast<JDIMENSION>(request.size.width()) < cinfo.image_width) {
        // The smooth chroma upsampling treats the edge of a cropped row like the edge of the
        // image; decoding one more block column (up to 4 x 8 pixels) keeps the wanted columns
        // identical to a full decode.
        cropWidth = std::min<JDIMENSION>(cinfo.image_width,
                                         static_cast<JDIMENSION>(request.size.width()) + 32);
    }
    result.scaleDenominator = static_cast<int>(8 / scaleNum);
    if (!startDecompress(r, outSpace, scaleNum, cropWidth)) {
        result.error = QString::fromLocal8Bit(r->err.message);
        return result;
    }

    qint64 width = cinfo.output_width;
    qint64 height = cinfo.output_height;
    if (topLeft) {
        width = std::min<qint64>(width, request.size.width());
        height = std::min<qint64>(height, request.size.height());
    }
    const QImage::Format format = luminance ? QImage::Format_Grayscale8
                                  : gray    ? QImage::Format_Indexed8
                                            : QImage::Format_RGB888;
    QImage image =
        allocateImage(width, height, format, request.maxPixels, &result.error, request.recycle);
    if (image.isNull()) {
        return result;
    }
    if (format == QImage::Format_Indexed8) {
        image.setColorTable(grayColorTable());
    }
    const auto wantedRows = static_cast<JDIMENSION>(height);

    bool ok = true;
    int rowsDone = 0;
    const bool direct = !cmyk && cinfo.output_width == static_cast<JDIMENSION>(image.width());
    if (direct) {
        std::vector<JSAMPROW> rows(wantedRows);
        for (JDIMENSION y = 0; y < wantedRows; ++y) {
            rows[y] = image.scanLine(static_cast<int>(y));
        }
        ok = readRows(r, rows.data(), wantedRows);
        rowsDone = static_cast<int>(cinfo.output_scanline);
    } else {
        // Cropped rows are wider than the image, CMYK rows need converting: go through a buffer.
        const std::size_t stride = std::size_t(cinfo.output_width) * cinfo.output_components;
        std::vector<JSAMPLE> buffer(stride * kBatchRows);
        std::vector<JSAMPROW> rows(kBatchRows);
        for (JDIMENSION i = 0; i < kBatchRows; ++i) {
            rows[i] = buffer.data() + i * stride;
        }
        const std::size_t copyBytes =
            std::size_t(image.width()) * (outSpace == JCS_GRAYSCALE ? 1 : 3);
        while (ok && cinfo.output_scanline < wantedRows) {
            const JDIMENSION first = cinfo.output_scanline;
            const JDIMENSION end = std::min(first + kBatchRows, wantedRows);
            ok = readRows(r, rows.data(), end);
            for (JDIMENSION y = first; y < cinfo.output_scanline; ++y) {
                uchar* dst = image.scanLine(static_cast<int>(y));
                if (cmyk) {
                    cmykToRgb(rows[y - first], dst, image.width(), cinfo.saw_Adobe_marker);
                } else {
                    std::memcpy(dst, rows[y - first], copyBytes);
                }
            }
            rowsDone = static_cast<int>(cinfo.output_scanline);
        }
    }
    if (!ok) {
        result.error = QString::fromLocal8Bit(r->err.message);
    } else if (r->err.dataLost) {
        ok = false;
        result.error = QString::fromLocal8Bit(r->err.message);
    }
    if (!ok) {
        fillWhite(image, rowsDone);
    }
    result.image = image;
    result.ok = ok;
    return result;
}

} // namespace imaging
