// SPDX-License-Identifier: GPL-3.0-or-later
// Windows bitmap decoding: uncompressed 1, 4, 8, 16, 24 and 32 bits per pixel, 16 or 32 bits
// with bit-field masks, and run-length compressed 4 and 8 bits (always stored bottom-up), under
// any of the usual info headers. Embedded JPEG or PNG bitmaps are refused.
//
// Run-length streams may leave pixels out on purpose (end of line, end of bitmap, delta): those
// are palette index 0, the background other readers show there. A stream that breaks off early
// leaves the pixels after the point where it stopped white, as the other decoders leave the rows
// they do not reach. Runs that go past the right edge and deltas that leave the image are
// clipped: there is no pixel for what falls outside, and everything inside stays defined.

#include "imaging/codec_p.h"
#include "imaging/inputsource_p.h"
#include "imaging/pixels_p.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <vector>

namespace imaging {

namespace {

constexpr std::uint32_t kRgb = 0;
constexpr std::uint32_t kRle8 = 1;
constexpr std::uint32_t kRle4 = 2;
constexpr std::uint32_t kBitFields = 3;

std::uint16_t u16(const unsigned char* p) {
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

std::uint32_t u32(const unsigned char* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

std::int32_t i32(const unsigned char* p) {
    return static_cast<std::int32_t>(u32(p));
}

/// One colour channel of a bit-field pixel, scaled to 8 bits.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m = 0) : mask(m) {
        if (mask != 0) {
            shift = std::countr_zero(mask);
            bits = static_cast<int>(std::bit_width(mask >> shift));
        }
    }
    uchar value(std::uint32_t pixel) const {
        if (bits == 0) {
            return 0;
        }
        const std::uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) {
            return static_cast<uchar>(v >> (bits - 8));
        }
        const std::uint32_t max = (1U << bits) - 1;
        return static_cast<uchar>((v * 255 + max / 2) / max);
    }
};

bool readExactly(InputSource& input, void* data, std::size_t size) {
    return input.read(data, size) == size;
}

bool isRunLength(std::uint32_t compression) {
    return compression == kRle8 || compression == kRle4;
}

bool compressionFits(std::uint32_t compression, int bits) {
    switch (compression) {
    case kRgb:
        return true;
    case kRle8:
        return bits == 8;
    case kRle4:
        return bits == 4;
    case kBitFields:
        return bits == 16 || bits == 32;
    default:
        return false;
    }
}

/// Hands out the bytes of a compressed stream one at a time, through a buffer so that the
/// source is not asked for every byte. Each read says whether a byte was there.
class ByteStream {
public:
    explicit ByteStream(InputSource& input) : m_input(input) {}

    bool next(unsigned char& byte) {
        if (m_position == m_length && !refill()) {
            return false;
        }
        byte = m_buffer[m_position++];
        return true;
    }

private:
    bool refill() {
        m_length = m_input.read(m_buffer.data(), m_buffer.size());
        m_position = 0;
        return m_length > 0;
    }

    InputSource& m_input;
    std::array<unsigned char, 16 * 1024> m_buffer{};
    std::size_t m_position = 0;
    std::size_t m_length = 0;
};

/// Decodes a run-length stream of 4 or 8 bits into an Indexed8 image. The cursor only ever
/// writes inside the image: columns stop at the right edge, and the stream ends once its row
/// leaves the top.
class RunLengthDecoder {
public:
    RunLengthDecoder(QImage& image, int bits)
        : m_image(image), m_bits(bits), m_width(image.width()), m_height(image.height()) {}

    /// Decodes until the end of the bitmap. Returns an empty string on success, otherwise what
    /// went wrong; the pixels after the point reached are then white.
    QString decode(ByteStream& stream) {
        m_image.fill(0U);
        while (m_row < m_height) {
            unsigned char count = 0;
            unsigned char value = 0;
            if (!stream.next(count) || !stream.next(value)) {
                return truncated();
            }
            if (count > 0) {
                putRun(count, value);
            } else if (value == 0) {
                nextLine();
            } else if (value == 1) {
                return {};
            } else if (value == 2) {
                if (!moveBy(stream)) {
                    return truncated();
                }
            } else if (!putAbsolute(stream, value)) {
                return truncated();
            }
        }
        return {};
    }

private:
    /// \p count pixels of one byte: 8 bits repeat it, 4 bits alternate its high and low nibble.
    void putRun(int count, unsigned char value) {
        for (int i = 0; i < count && m_column < m_width; ++i) {
            put(m_bits == 8 ? value : (i % 2 == 0 ? value >> 4 : value & 0x0F));
        }
    }

    /// \p count pixels stored as they are, padded to an even number of bytes.
    bool putAbsolute(ByteStream& stream, int count) {
        const int bytes = m_bits == 8 ? count : (count + 1) / 2;
        for (int i = 0; i < bytes; ++i) {
            unsigned char byte = 0;
            if (!stream.next(byte)) {
                return false;
            }
            if (m_bits == 8) {
                putClipped(byte);
            } else {
                putClipped(byte >> 4);
                if (2 * i + 1 < count) {
                    putClipped(byte & 0x0F);
                }
            }
        }
        unsigned char padding = 0;
        return bytes % 2 == 0 || stream.next(padding);
    }

    /// Skips right and up; the pixels passed over keep index 0.
    bool moveBy(ByteStream& stream) {
        unsigned char right = 0;
        unsigned char up = 0;
        if (!stream.next(right) || !stream.next(up)) {
            return false;
        }
        m_column = std::min(m_column + right, m_width);
        m_row += up;
        return true;
    }

    void nextLine() {
        m_column = 0;
        ++m_row;
    }

    void put(int index) {
        m_image.scanLine(m_height - 1 - m_row)[m_column++] = static_cast<uchar>(index);
    }

    void putClipped(int index) {
        if (m_column < m_width) {
            put(index);
        }
    }

    QString truncated() {
        whitenFromCursor();
        return QStringLiteral("truncated run-length data (stopped in row %1 of %2 from the "
                              "bottom, at column %3)")
            .arg(m_row + 1)
            .arg(m_height)
            .arg(m_column);
    }

    /// Whitens the rest of the cursor's row and every row above it.
    void whitenFromCursor() {
        const int imageRow = m_height - 1 - m_row;
        uchar* line = m_image.scanLine(imageRow);
        const std::vector<uchar> reached(line, line + m_column);
        fillWhite(m_image, 0, imageRow + 1);
        std::copy(reached.begin(), reached.end(), line);
    }

    QImage& m_image;
    const int m_bits;
    const int m_width;
    const int m_height;
    int m_column = 0;
    int m_row = 0; ///< counted from the bottom, as the stream stores them
};

} // namespace

DecodeResult decodeBmp(InputSource& input, const DecodeRequest& request) {
    DecodeResult result;
    unsigned char fileHeader[14];
    unsigned char info[124] = {};
    if (!readExactly(input, fileHeader, sizeof fileHeader) || fileHeader[0] != 'B' ||
        fileHeader[1] != 'M') {
        result.error = QStringLiteral("not a BMP file");
        return result;
    }
    const std::uint32_t pixelOffset = u32(fileHeader + 10);
    if (!readExactly(input, info, 4)) {
        result.error = QStringLiteral("truncated header");
        return result;
    }
    const std::uint32_t headerSize = u32(info);
    const bool core = headerSize == 12;
    if (!core && (headerSize < 40 || headerSize > sizeof info)) {
        result.error = QStringLiteral("unsupported BMP header of %1 bytes").arg(headerSize);
        return result;
    }
    if (!readExactly(input, info + 4, headerSize - 4)) {
        result.error = QStringLiteral("truncated header");
        return result;
    }
    qint64 width = 0;
    qint64 height = 0;
    int bits = 0;
    std::uint32_t compression = kRgb;
    std::uint32_t colorsUsed = 0;
    std::uint32_t masks[3] = {};
    if (core) {
        width = u16(info + 4);
        height = u16(info + 6);
        bits = u16(info + 10);
    } else {
        width = i32(info + 4);
        height = i32(info + 8);
        bits = u16(info + 14);
        compression = u32(info + 16);
        const std::int32_t ppmX = i32(info + 24);
        const std::int32_t ppmY = i32(info + 28);
        if (ppmX > 0 && ppmY > 0) {
            result.dpiX = dpiFromDotsPerMeter(ppmX);
            result.dpiY = dpiFromDotsPerMeter(ppmY);
        }
        colorsUsed = u32(info + 32);
        if (compression == kBitFields) {
            if (headerSize >= 52) {
                masks[0] = u32(info + 40);
                masks[1] = u32(info + 44);
                masks[2] = u32(info + 48);
            } else {
                unsigned char fields[12];
                if (!readExactly(input, fields, sizeof fields)) {
                    result.error = QStringLiteral("truncated header");
                    return result;
                }
                masks[0] = u32(fields);
                masks[1] = u32(fields + 4);
                masks[2] = u32(fields + 8);
            }
        }
    }
    const bool topDown = height < 0;
    height = std::abs(height);
    result.fullSize = QSize(static_cast<int>(std::min<qint64>(width, INT_MAX)),
                            static_cast<int>(std::min<qint64>(height, INT_MAX)));
    result.bitsPerSample = bits <= 8 ? bits : (bits == 16 ? 5 : 8);
    result.samplesPerPixel = bits <= 8 ? 1 : 3;
    const bool bitsOk =
        bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
    if (!bitsOk) {
        result.error = QStringLiteral("unsupported %1 bits per pixel").arg(bits);
        return result;
    }
    if (!compressionFits(compression, bits)) {
        result.error = QStringLiteral("unsupported BMP compression %1 with %2 bits per pixel")
                           .arg(compression)
                           .arg(bits);
        return result;
    }
    if (isRunLength(compression) && topDown) {
        // The stream's end of line and delta codes only move upwards.
        result.error = QStringLiteral("run-length compressed BMP with a negative height: "
                                      "these bitmaps can only be stored bottom-up");
        return result;
    }
    if (width <= 0 || height <= 0) {
        result.error = QStringLiteral("image has no pixels (%1 x %2)").arg(width).arg(height);
        return result;
    }
    if (width * height > request.maxPixels) {
        result.error = QStringLiteral("image of %1 x %2 pixels exceeds the limit of %3 pixels")
                           .arg(width)
                           .arg(height)
                           .arg(request.maxPixels);
        return result;
    }
    if (request.kind == DecodeRequest::Kind::Header) {
        result.ok = true;
        return result;
    }

    QList<QRgb> palette;
    if (bits <= 8) {
        const std::uint32_t maxColors = 1U << bits;
        const std::uint32_t count = colorsUsed == 0 ? maxColors : std::min(colorsUsed, maxColors);
        const int entrySize = core ? 3 : 4;
        std::vector<unsigned char> entries(std::size_t(count) * entrySize);
        if (!readExactly(input, entries.data(), entries.size())) {
            result.error = QStringLiteral("truncated palette");
            return result;
        }
        for (std::uint32_t i = 0; i < count; ++i) {
            const unsigned char* e = entries.data() + std::size_t(i) * entrySize;
            palette.append(qRgb(e[2], e[1], e[0]));
        }
    }
    if (compression == kRgb && bits == 16) {
        masks[0] = 0x7C00;
        masks[1] = 0x03E0;
        masks[2] = 0x001F;
    } else if (compression == kRgb && bits == 32) {
        masks[0] = 0x00FF0000;
        masks[1] = 0x0000FF00;
        masks[2] = 0x000000FF;
    }
    const Channel red(masks[0]);
    const Channel green(masks[1]);
    const Channel blue(masks[2]);

    QImage::Format format = QImage::Format_RGB888;
    if (bits == 1) {
        format = QImage::Format_Mono;
    } else if (bits <= 8) {
        format = QImage::Format_Indexed8;
    }
    QImage image =
        allocateImage(width, height, format, request.maxPixels, &result.error, request.recycle);
    if (image.isNull()) {
        return result;
    }
    if (bits <= 8) {
        image.setColorTable(paddedColorTable(palette, bits == 1 ? 2 : 256));
    }
    input.seek(pixelOffset);
    if (isRunLength(compression)) {
        ByteStream stream(input);
        result.error = RunLengthDecoder(image, bits).decode(stream);
        result.ok = result.error.isEmpty();
        result.image = image;
        return result;
    }
    const auto stride = static_cast<std::size_t>((width * bits + 31) / 32 * 4);
    std::vector<unsigned char> row(stride);
    const int rows = static_cast<int>(height);
    const int columns = static_cast<int>(width);
    int done = 0;
    for (; done < rows; ++done) {
        if (!readExactly(input, row.data(), stride)) {
            break;
        }
        uchar* out = image.scanLine(topDown ? done : rows - 1 - done);
        const unsigned char* in = row.data();
        switch (bits) {
        case 1:
            std::memcpy(out, in, (std::size_t(columns) + 7) / 8);
            break;
        case 4:
            for (int x = 0; x < columns; ++x) {
                out[x] = (x % 2 == 0) ? in[x / 2] >> 4 : in[x / 2] & 0x0F;
            }
            break;
        case 8:
            std::memcpy(out, in, std::size_t(columns));
            break;
        case 24:
            for (int x = 0; x < columns; ++x, in += 3, out += 3) {
                out[0] = in[2];
                out[1] = in[1];
                out[2] = in[0];
            }
            break;
        default: {
            const int bytes = bits / 8;
            for (int x = 0; x < columns; ++x, in += bytes, out += 3) {
                const std::uint32_t pixel = bytes == 2 ? u16(in) : u32(in);
                out[0] = red.value(pixel);
                out[1] = green.value(pixel);
                out[2] = blue.value(pixel);
            }
            break;
        }
        }
    }
    if (done < rows) {
        result.error = QStringLiteral("truncated pixel data (%1 of %2 rows)").arg(done).arg(rows);
        if (topDown) {
            fillWhite(image, done);
        } else {
            fillWhite(image, 0, rows - done);
        }
    } else {
        result.ok = true;
    }
    result.image = image;
    return result;
}

} // namespace imaging
