// SPDX-License-Identifier: GPL-3.0-or-later
// Run-length compressed bitmaps of 4 and 8 bits, built byte by byte here so that every escape
// code, padding rule and broken stream can be set up exactly and its pixels checked one by one.

#include "imaging/codec_p.h"
#include "imaging/inputsource_p.h"

#include <QByteArray>

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

constexpr int kRle8 = 1;
constexpr int kRle4 = 2;

// A grey ramp: index i is i * 17, so index 15 is the white a broken stream leaves behind.
QRgb paletteColour(int index) {
    return qRgb(index * 17, index * 17, index * 17);
}

void put16(QByteArray& bytes, int value) {
    bytes.append(static_cast<char>(value));
    bytes.append(static_cast<char>(value >> 8));
}

void put32(QByteArray& bytes, qint64 value) {
    put16(bytes, static_cast<int>(value & 0xFFFF));
    put16(bytes, static_cast<int>((value >> 16) & 0xFFFF));
}

// A bitmap with a 40-byte info header, the 16-colour grey ramp and \p stream as pixel data.
QByteArray rleBitmap(int compression, int bits, qint64 width, qint64 height,
                     const std::vector<int>& stream) {
    constexpr int kColours = 16;
    constexpr int kPixelOffset = 14 + 40 + kColours * 4;
    QByteArray bytes("BM");
    put32(bytes, kPixelOffset + static_cast<qint64>(stream.size()));
    put32(bytes, 0);
    put32(bytes, kPixelOffset);
    put32(bytes, 40);
    put32(bytes, width);
    put32(bytes, height);
    put16(bytes, 1);
    put16(bytes, bits);
    put32(bytes, compression);
    put32(bytes, static_cast<qint64>(stream.size()));
    put32(bytes, 2835); // 72 dpi
    put32(bytes, 2835);
    put32(bytes, kColours);
    put32(bytes, 0);
    for (int i = 0; i < kColours; ++i) {
        const QRgb c = paletteColour(i);
        bytes.append(static_cast<char>(qBlue(c)));
        bytes.append(static_cast<char>(qGreen(c)));
        bytes.append(static_cast<char>(qRed(c)));
        bytes.append('\0');
    }
    for (int byte : stream) {
        bytes.append(static_cast<char>(byte));
    }
    return bytes;
}

imaging::DecodeResult decode(const QByteArray& bytes, imaging::DecodeRequest request = {}) {
    imaging::MemorySource source(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return imaging::decodeImage(imaging::ImageFormat::Bmp, source, request);
}

struct RleCase {
    const char* name;
    int compression;
    int width;
    int height;
    std::vector<int> stream;
    bool ok;
    /// Expected palette indices as hex digits, top row first.
    std::vector<std::string> rows;
};

class RleDecodeTest : public testing::TestWithParam<RleCase> {};

TEST_P(RleDecodeTest, GivesExactlyTheseIndices) {
    const RleCase& c = GetParam();
    const int bits = c.compression == kRle8 ? 8 : 4;
    const imaging::DecodeResult result =
        decode(rleBitmap(c.compression, bits, c.width, c.height, c.stream));
    EXPECT_EQ(result.ok, c.ok) << result.error.toStdString();
    EXPECT_EQ(result.error.isEmpty(), c.ok) << result.error.toStdString();
    ASSERT_EQ(result.image.format(), QImage::Format_Indexed8);
    ASSERT_EQ(result.image.size(), QSize(c.width, c.height));
    for (int y = 0; y < c.height; ++y) {
        for (int x = 0; x < c.width; ++x) {
            const int expected = std::stoi(c.rows[y].substr(x, 1), nullptr, 16);
            EXPECT_EQ(result.image.pixelIndex(x, y), expected) << "at " << x << "," << y;
            EXPECT_EQ(result.image.pixel(x, y), paletteColour(expected)) << "at " << x << "," << y;
        }
    }
}

// Escape codes: 0 0 end of line, 0 1 end of bitmap, 0 2 dx dy delta, 0 n (n >= 3) absolute run.
const RleCase kRleCases[] = {
    {"rle8_encoded_and_absolute_runs_with_padding",
     kRle8,
     6,
     2,
     {2, 5, 0,  3,  1,  2,  3, 0,  1, 7, 0, 0, // 5 5 | 1 2 3 + pad | 7 | end of line
      0, 4, 10, 11, 12, 13, 2, 14, 0, 1},      // a b c d (no pad) | e e | end of bitmap
     true,
     {"abcdee", "551237"}},
    {"rle8_end_of_line_and_delta_skip_to_index_0",
     kRle8,
     5,
     3,
     {1, 4, 0, 2, 2, 1, 2, 6, 0, 0, 5, 1, 0, 1}, // 4 | 2 right, 1 up | 6 6 | eol | 1 x 5
     true,
     {"11111", "00066", "40000"}},
    {"rle8_end_of_bitmap_leaves_the_rest_index_0",
     kRle8,
     4,
     3,
     {3, 2, 0, 1, 4, 9},
     true,
     {"0000", "0000", "2220"}},
    {"rle8_last_line_needs_no_end_of_bitmap",
     kRle8,
     2,
     2,
     {2, 3, 0, 0, 2, 4, 0, 0},
     true,
     {"44", "33"}},
    {"rle4_runs_alternate_nibbles",
     kRle4,
     9,
     2,
     {5, 0x12, 0,    3,    0x34, 0x50, 1, 0x60, 0, 0, // 1 2 1 2 1 | 3 4 5 (no pad) | 6 | eol
      0, 5,    0xAB, 0xCD, 0xE0, 0,                   // a b c d e + pad
      4, 0x78, 0,    1},                              // 7 8 7 8 | end of bitmap
     true,
     {"abcde7878", "121213456"}},
    {"rle4_delta", kRle4, 4, 2, {1, 0x30, 0, 2, 1, 1, 2, 0x5F, 0, 1}, true, {"005f", "3000"}},
    {"run_past_the_row_end_is_clipped_and_the_stream_stays_in_step",
     kRle8,
     3,
     2,
     {5, 2, 1, 3, 0, 0, 0, 4, 4, 5, 6, 7, 0, 1},
     true,
     {"456", "222"}},
    {"rle4_absolute_run_past_the_row_end",
     kRle4,
     3,
     1,
     {0, 5, 0x12, 0x34, 0x56, 0, 0, 1},
     true,
     {"123"}},
    {"delta_past_the_right_edge_draws_nothing_until_the_next_line",
     kRle8,
     3,
     2,
     {1, 1, 0, 2, 200, 0, 1, 2, 0, 0, 3, 3, 0, 1},
     true,
     {"333", "100"}},
    {"delta_past_the_top_ends_the_bitmap", kRle8, 3, 2, {1, 1, 0, 2, 0, 9}, true, {"000", "100"}},
    {"stream_ending_between_codes_whitens_the_rows_not_reached",
     kRle8,
     4,
     2,
     {4, 1, 0},
     false,
     {"ffff", "1111"}},
    {"absolute_run_cut_short_whitens_the_rest_of_its_row",
     kRle8,
     4,
     1,
     {0, 4, 1, 2},
     false,
     {"12ff"}},
    {"missing_padding_byte_is_truncation", kRle8, 3, 1, {0, 3, 1, 2, 3}, false, {"123"}},
    {"delta_cut_short", kRle4, 2, 2, {2, 0x12, 0, 0, 0, 2, 1}, false, {"ff", "12"}},
    {"no_pixel_data_at_all", kRle4, 2, 1, {}, false, {"ff"}},
};

INSTANTIATE_TEST_SUITE_P(Streams, RleDecodeTest, testing::ValuesIn(kRleCases),
                         [](const auto& info) { return std::string(info.param.name); });

struct RefusedHeader {
    const char* name;
    QByteArray bytes;
    imaging::DecodeRequest request;
    const char* error;
};

imaging::DecodeRequest limitedTo(qint64 maxPixels) {
    imaging::DecodeRequest request;
    request.maxPixels = maxPixels;
    return request;
}

class RleRefusedTest : public testing::TestWithParam<RefusedHeader> {};

TEST_P(RleRefusedTest, FailsBeforeAnyPixel) {
    const RefusedHeader& c = GetParam();
    const imaging::DecodeResult result = decode(c.bytes, c.request);
    EXPECT_FALSE(result.ok);
    EXPECT_TRUE(result.image.isNull());
    EXPECT_TRUE(result.error.contains(QString::fromLatin1(c.error))) << result.error.toStdString();
}

const std::vector<int> kOneRow = {2, 1, 0, 1};

const RefusedHeader kRefused[] = {
    {"negative_height", rleBitmap(kRle8, 8, 2, -1, kOneRow), {}, "bottom-up"},
    {"rle8_with_4_bits", rleBitmap(kRle8, 4, 2, 1, kOneRow), {}, "compression 1 with 4 bits"},
    {"rle4_with_8_bits", rleBitmap(kRle4, 8, 2, 1, kOneRow), {}, "compression 2 with 8 bits"},
    {"huge_dimensions", rleBitmap(kRle8, 8, 40000, 40000, kOneRow), {}, "exceeds the limit"},
    {"over_the_requested_limit", rleBitmap(kRle4, 4, 100, 100, kOneRow), limitedTo(9999),
     "exceeds the limit of 9999"},
};

INSTANTIATE_TEST_SUITE_P(Headers, RleRefusedTest, testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RleRequestTest, HeaderAndTopLeftReadsAgreeWithTheFullDecode) {
    // Bottom-up: the stream's first row is the image's last.
    const QByteArray bytes =
        rleBitmap(kRle8, 8, 4, 3, {4, 1, 0, 0, 4, 2, 0, 0, 0, 4, 3, 4, 5, 6, 0, 1});
    const imaging::DecodeResult full = decode(bytes);
    ASSERT_TRUE(full.ok) << full.error.toStdString();
    EXPECT_EQ(full.bitsPerSample, 8);
    EXPECT_EQ(full.dpiX, 72);

    imaging::DecodeRequest header;
    header.kind = imaging::DecodeRequest::Kind::Header;
    const imaging::DecodeResult sizeOnly = decode(bytes, header);
    EXPECT_TRUE(sizeOnly.ok);
    EXPECT_TRUE(sizeOnly.image.isNull());
    EXPECT_EQ(sizeOnly.fullSize, QSize(4, 3));

    imaging::DecodeRequest corner;
    corner.kind = imaging::DecodeRequest::Kind::TopLeft;
    corner.size = QSize(2, 2);
    const imaging::DecodeResult topLeft = decode(bytes, corner);
    ASSERT_TRUE(topLeft.ok);
    ASSERT_EQ(topLeft.image.size(), QSize(2, 2));
    EXPECT_EQ(topLeft.image.pixelIndex(0, 0), 3);
    EXPECT_EQ(topLeft.image.pixelIndex(1, 0), 4);
    EXPECT_EQ(topLeft.image.pixelIndex(0, 1), 2);
}

TEST(RleRequestTest, RecycledBufferIsClearedWhereTheStreamSkips) {
    // A reused bitmap's old pixels must not show through where end of bitmap skips.
    QImage previous(3, 2, QImage::Format_Indexed8);
    previous.fill(9U);
    imaging::DecodeRequest request;
    request.recycle = &previous;
    const imaging::DecodeResult result = decode(rleBitmap(kRle8, 8, 3, 2, {1, 5, 0, 1}), request);
    ASSERT_TRUE(result.ok) << result.error.toStdString();
    EXPECT_EQ(result.image.pixelIndex(0, 1), 5);
    EXPECT_EQ(result.image.pixelIndex(1, 1), 0);
    EXPECT_EQ(result.image.pixelIndex(2, 0), 0);
}

} // namespace
