// SPDX-License-Identifier: GPL-3.0-or-later
// Loading and saving through TImageIO: every format and layout round trip, the TIFF
// compression table in both directions, resolution, and the behaviours callers rely on.

#include "imagetestutil.h"
#include "imaging/timageio.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>
#include <tiffio.h>

namespace {

using testutil::colourPage;
using testutil::grayPage;
using testutil::monoPage;

enum class Source : std::uint8_t { Colour, Gray, Mono, TwoColour };

QImage makeSource(Source source) {
    switch (source) {
    case Source::Colour:
        return colourPage(61, 47);
    case Source::Gray:
        return grayPage(61, 47);
    case Source::TwoColour: {
        QImage page = monoPage(61, 47);
        page.setColorTable({qRgb(255, 255, 255), qRgb(200, 0, 0)}); // red on white
        return page;
    }
    case Source::Mono:
        break;
    }
    return monoPage(61, 47);
}

int dotsPerMeter(int dpi) {
    return static_cast<int>(std::lround(dpi / 0.0254));
}

struct RoundTrip {
    const char* name;
    const char* file;
    Source source;
    TiffCompression compression; ///< parameter at save
    QImage::Format loaded;
    double meanTolerance;     ///< 0: pixels must be identical (the colour page's fine stripes
                              ///< lose much of their chroma in JPEG's 4:2:0 sampling)
    int tagWritten;           ///< TIFF Compression tag in the file; 0 for other formats
    TiffCompression reloaded; ///< parameter after loading the file again
};

class RoundTripTest : public testing::TestWithParam<RoundTrip> {};

TEST_P(RoundTripTest, SavesAndLoadsBack) {
    const RoundTrip& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QString::fromLatin1(c.file));
    const QImage original = makeSource(c.source);

    QImage saved = original;
    TImageIO writer;
    writer.BindBitmap(&saved);
    writer.Params().dpiX = 200; // different on each axis, so a swap shows
    writer.Params().dpiY = 300;
    writer.Params().tiffCompression = c.compression;
    writer.SaveImageFile(path);
    ASSERT_FALSE(writer.IoFailed()) << writer.lastError().toStdString();

    QImage loaded;
    TImageIO reader;
    reader.BindBitmap(&loaded);
    reader.LoadImageFile(path);
    ASSERT_FALSE(reader.IoFailed()) << reader.lastError().toStdString();
    EXPECT_EQ(loaded.format(), c.loaded);
    ASSERT_EQ(loaded.size(), original.size());
    if (c.meanTolerance == 0) {
        EXPECT_EQ(testutil::maxChannelDifference(loaded, original), 0);
    } else {
        EXPECT_LT(testutil::meanChannelDifference(loaded, original), c.meanTolerance);
    }
    EXPECT_EQ(reader.Params().dpiX, 200);
    EXPECT_EQ(reader.Params().dpiY, 300);
    EXPECT_EQ(loaded.dotsPerMeterX(), dotsPerMeter(200));
    EXPECT_EQ(loaded.dotsPerMeterY(), dotsPerMeter(300));
    EXPECT_EQ(reader.Params().tiffCompression, c.reloaded);
    if (c.tagWritten != 0) {
        const testutil::TiffTags tags = testutil::tiffTags(path);
        EXPECT_EQ(tags.compression, c.tagWritten);
        EXPECT_EQ((tags.t4Options & GROUP3OPT_2DENCODING) != 0,
                  c.compression == TiffCompression::G3TwoD);
    }
}

constexpr auto RGB = QImage::Format_RGB888;
constexpr auto IDX = QImage::Format_Indexed8;
constexpr auto MONO = QImage::Format_Mono;
using TC = TiffCompression;

const RoundTrip kRoundTrips[] = {
    // JPEG: always 24-bit colour, lossy.
    {"jpg_colour", "page.jpg", Source::Colour, TC::None, RGB, 16.0, 0, TC::None},
    {"jpg_upper_case", "PAGE.JPG", Source::Colour, TC::None, RGB, 16.0, 0, TC::None},
    {"jpeg_gray_expanded", "page.jpeg", Source::Gray, TC::None, RGB, 3.0, 0, TC::None},
    {"jpe_mono_expanded", "page.Jpe", Source::Mono, TC::None, RGB, 12.0, 0, TC::None},
    // PNG keeps every layout.
    {"png_colour", "page.png", Source::Colour, TC::None, RGB, 0, 0, TC::None},
    {"png_gray", "page.png", Source::Gray, TC::None, IDX, 0, 0, TC::None},
    {"png_mono", "PAGE.PNG", Source::Mono, TC::None, MONO, 0, 0, TC::None},
    {"png_two_colours_kept", "page.png", Source::TwoColour, TC::None, MONO, 0, 0, TC::None},
    // BMP: 1-bit or 24-bit.
    {"bmp_colour", "page.bmp", Source::Colour, TC::None, RGB, 0, 0, TC::None},
    {"bmp_mono", "page.BMP", Source::Mono, TC::None, MONO, 0, 0, TC::None},
    {"bmp_two_colours_kept", "page.bmp", Source::TwoColour, TC::None, MONO, 0, 0, TC::None},
    {"bmp_gray_as_24_bit", "page.bmp", Source::Gray, TC::None, RGB, 0, 0, TC::None},
    // TIFF: every row of the compression table.
    {"tif_colour_none", "page.tif", Source::Colour, TC::None, RGB, 0, 1, TC::None},
    {"tif_gray_none", "page.tif", Source::Gray, TC::None, IDX, 0, 1, TC::None},
    {"tif_mono_none", "PAGE.TIFF", Source::Mono, TC::None, MONO, 0, 1, TC::None},
    {"tif_mono_ccitt_1d", "page.tif", Source::Mono, TC::CcittRle, MONO, 0, 2, TC::CcittRle},
    {"tif_mono_g3_1d", "page.tif", Source::Mono, TC::G3OneD, MONO, 0, 3, TC::G3OneD},
    {"tif_mono_g3_2d", "page.tif", Source::Mono, TC::G3TwoD, MONO, 0, 3, TC::G3TwoD},
    {"tif_mono_g4", "page.tiff", Source::Mono, TC::G4, MONO, 0, 4, TC::G4},
    {"tif_mono_lzw_as_none", "page.tif", Source::Mono, TC::Lzw, MONO, 0, 1, TC::None},
    {"tif_colour_lzw_as_none", "page.tif", Source::Colour, TC::Lzw, RGB, 0, 1, TC::None},
    {"tif_colour_old_jpeg_as_none", "page.tif", Source::Colour, TC::OldJpeg, RGB, 0, 1, TC::None},
    {"tif_colour_jpeg", "page.tif", Source::Colour, TC::Jpeg, RGB, 16.0, 7, TC::Jpeg},
    {"tif_gray_jpeg", "page.tif", Source::Gray, TC::Jpeg, IDX, 3.0, 7, TC::Jpeg},
    {"tif_mono_packbits", "page.tif", Source::Mono, TC::PackBits, MONO, 0, 32773, TC::PackBits},
    {"tif_colour_packbits", "page.tif", Source::Colour, TC::PackBits, RGB, 0, 32773, TC::PackBits},
    {"tif_colour_other_as_none", "page.tif", Source::Colour, TC::Other, RGB, 0, 1, TC::None},
    // A fax coding cannot hold colour, JPEG cannot hold 1 bit: written uncompressed, unchanged.
    {"tif_colour_g4_as_none", "page.tif", Source::Colour, TC::G4, RGB, 0, 1, TC::None},
    {"tif_mono_jpeg_as_none", "page.tif", Source::Mono, TC::Jpeg, MONO, 0, 1, TC::None},
};

INSTANTIATE_TEST_SUITE_P(Formats, RoundTripTest, testing::ValuesIn(kRoundTrips),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TiffTest, LzwComesBackUncompressedAndG4StaysG4) {
    QTemporaryDir dir;
    const QString lzw = dir.filePath(QStringLiteral("lzw.tif"));
    testutil::writeTiff(lzw, {colourPage(40, 30)}, COMPRESSION_LZW);
    const QString g4 = dir.filePath(QStringLiteral("g4.tif"));
    {
        QImage mono = monoPage(40, 30);
        TImageIO io;
        io.BindBitmap(&mono);
        io.Params().tiffCompression = TiffCompression::G4;
        io.SaveImageFile(g4);
    }
    struct Case {
        QString path;
        TiffCompression loaded;
        int tagAfterSave;
    };
    for (const Case& c : {Case{lzw, TiffCompression::Lzw, 1}, Case{g4, TiffCompression::G4, 4}}) {
        QImage bitmap;
        TImageIO io;
        io.BindBitmap(&bitmap);
        io.LoadImageFile(c.path);
        ASSERT_FALSE(io.IoFailed()) << io.lastError().toStdString();
        EXPECT_EQ(io.Params().tiffCompression, c.loaded);
        const QImage before = bitmap;
        const QString again = dir.filePath(QStringLiteral("again.tif"));
        io.SaveImageFile(again);
        ASSERT_FALSE(io.IoFailed());
        EXPECT_EQ(testutil::tiffTags(again).compression, c.tagAfterSave);
        io.LoadImageFile(again);
        EXPECT_EQ(testutil::maxChannelDifference(bitmap, before), 0);
    }
}

TEST(TiffTest, ThreePageFileLoadsItsFirstPage) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("three.tif"));
    const QImage first = colourPage(30, 20);
    testutil::writeTiff(path, {first, colourPage(50, 10), colourPage(10, 50)}, COMPRESSION_NONE);
    ASSERT_EQ(testutil::tiffTags(path).pages, 3);
    QImage bitmap;
    TImageIO io;
    io.BindBitmap(&bitmap);
    io.LoadImageFile(path);
    ASSERT_FALSE(io.IoFailed());
    EXPECT_EQ(bitmap.size(), QSize(30, 20));
    EXPECT_EQ(testutil::maxChannelDifference(bitmap, first), 0);
    EXPECT_EQ(io.Params().dpiX, 150);
}

TEST(JpegTest, ResaveUsesQualityEightyAndKeepsTheResolution) {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("scan.jpg"));
    QImage page = colourPage(64, 48);
    TImageIO writer;
    writer.BindBitmap(&page);
    writer.Params().jpegQuality = 95;
    writer.Params().dpiX = writer.Params().dpiY = 300;
    writer.SaveImageFile(source);
    ASSERT_EQ(testutil::jpegFirstLuminanceQuant(source), 2); // quality 95

    QImage bitmap;
    TImageIO io; // as the program has it: quality never changed
    io.BindBitmap(&bitmap);
    io.LoadImageFile(source);
    const QString resaved = dir.filePath(QStringLiteral("resaved.jpg"));
    io.SaveImageFile(resaved);
    ASSERT_FALSE(io.IoFailed());
    EXPECT_EQ(testutil::jpegFirstLuminanceQuant(resaved), 6); // quality 80
    io.LoadImageFile(resaved);
    EXPECT_EQ(io.Params().dpiX, 300);
    EXPECT_EQ(io.Params().dpiY, 300);
}

// BMP, PNG and JPEG layouts that other programs write and we do not: each fixture is 16 x 8
// pixels, left half one colour, right half another (see data/FIXTURES.txt).
struct Fixture {
    const char* file;
    QImage::Format format;
    QRgb left;
    QRgb right;
    int dpi;
};

class FixtureTest : public testing::TestWithParam<Fixture> {};

int colourDistance(QRgb a, QRgb b) {
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)),
                     std::abs(qBlue(a) - qBlue(b))});
}

TEST_P(FixtureTest, LoadsWithTheRightLayoutAndColours) {
    const Fixture& f = GetParam();
    const QString path =
        qEnvironmentVariable("PELORA_TEST_SOURCE_DIR") + "/tests/imaging/data/" + f.file;
    QImage bitmap;
    TImageIO io;
    io.BindBitmap(&bitmap);
    io.LoadImageFile(path);
    ASSERT_FALSE(io.IoFailed()) << io.lastError().toStdString();
    EXPECT_EQ(bitmap.format(), f.format);
    EXPECT_EQ(bitmap.height(), 8);
    const QImage rgb = bitmap.convertToFormat(QImage::Format_RGB888);
    const int tolerance = QString::fromLatin1(f.file).endsWith(u".jpg") ? 4 : 0;
    EXPECT_LE(colourDistance(rgb.pixel(1, 1), f.left), tolerance) << std::hex << rgb.pixel(1, 1);
    EXPECT_LE(colourDistance(rgb.pixel(rgb.width() - 2, 6), f.right), tolerance)
        << std::hex << rgb.pixel(rgb.width() - 2, 6);
    EXPECT_EQ(io.Params().dpiX, f.dpi);
}

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kBlue = qRgb(0, 0, 255);
const QRgb kBlack = qRgb(0, 0, 0);
const QRgb kWhite = qRgb(255, 255, 255);

const Fixture kFixtures[] = {
    {"bmp-4bit-palette.bmp", IDX, kRed, kBlue, 72},
    {"bmp-8bit-palette.bmp", IDX, kRed, kBlue, 72},
    {"bmp-24bit-top-down.bmp", RGB, kRed, kBlue, 72},
    {"bmp-16bit-565-bitfields.bmp", RGB, kRed, kBlue, 72},
    {"bmp-32bit-bitfields.bmp", RGB, kRed, kBlue, 72},
    {"bmp-os2-core-header.bmp", RGB, kRed, kBlue, 0},
    {"png-16bit-rgb.png", RGB, kRed, kBlue, 72},
    {"png-palette-transparent-right.png", RGB, kRed, kWhite, 72},
    {"png-gray-alpha-transparent-right.png", IDX, kBlack, kWhite, 72},
    {"png-interlaced.png", RGB, kRed, kBlue, 72},
    {"png-1bit-gray.png", MONO, kBlack, kWhite, 72},
    {"png-4bit-gray.png", IDX, kBlack, kWhite, 72},
    {"jpg-progressive.jpg", RGB, kRed, kBlue, 72},
    {"jpg-gray.jpg", IDX, kBlack, kWhite, 72},
    {"jpg-cmyk.jpg", RGB, kRed, kBlue, 72},
};

std::string fixtureName(const testing::TestParamInfo<Fixture>& info) {
    std::string name = info.param.file;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Layouts, FixtureTest, testing::ValuesIn(kFixtures), fixtureName);

// TIFF layouts that other programs write, made here with libtiff: 24 x 20 pixels, the left
// half one colour and the right half another, in strips of 8 rows or 16 x 16 tiles (so edge
// tiles are partial).
struct TiffLayout {
    const char* name;
    std::uint16_t bits;
    std::uint16_t samples;
    std::uint16_t photometric;
    std::uint16_t compression;
    bool separatePlanes;
    bool tiled;
    std::array<std::uint32_t, 4> left; ///< stored samples of the left half
    std::array<std::uint32_t, 4> right;
    QImage::Format format;
    QRgb leftColour;
    QRgb rightColour;
    TiffCompression loadedCompression;
};

constexpr int kTiffWidth = 24;
constexpr int kTiffHeight = 20;

// Packs the samples of one row (all samples, or only \p plane) at the layout's bit depth.
QByteArray packRow(const TiffLayout& l, int plane) {
    QByteArray row;
    std::uint32_t accumulator = 0;
    int filled = 0;
    for (int x = 0; x < kTiffWidth; ++x) {
        const auto& samples = x < kTiffWidth / 2 ? l.left : l.right;
        for (int c = 0; c < l.samples; ++c) {
            if (plane >= 0 && c != plane) {
                continue;
            }
            const std::uint32_t v = samples[static_cast<size_t>(c)];
            if (l.bits == 16) {
                const auto v16 = static_cast<std::uint16_t>(v);
                row.append(reinterpret_cast<const char*>(&v16), 2);
            } else if (l.bits == 8) {
                row.append(static_cast<char>(v));
            } else {
                accumulator = (accumulator << l.bits) | v;
                filled += l.bits;
                if (filled == 8) {
                    row.append(static_cast<char>(accumulator));
                    accumulator = 0;
                    filled = 0;
                }
            }
        }
    }
    if (filled > 0) {
        row.append(static_cast<char>(accumulator << (8 - filled)));
    }
    return row;
}

void writeTiffLayout(const QString& path, const TiffLayout& l) {
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
    ASSERT_NE(tif, nullptr);
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kTiffWidth);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kTiffHeight);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, l.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, l.samples);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, l.photometric);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, l.compression);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG,
                 l.separatePlanes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 40.0F);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 40.0F);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_CENTIMETER); // 101.6 dpi
    const bool colour = l.photometric == PHOTOMETRIC_RGB || l.photometric == PHOTOMETRIC_YCBCR;
    if ((colour && l.samples == 4) ||
        (!colour && l.photometric <= PHOTOMETRIC_MINISBLACK && l.samples == 2)) {
        const std::uint16_t extra[] = {EXTRASAMPLE_UNASSALPHA};
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, extra);
    }
    std::vector<std::uint16_t> map;
    if (l.photometric == PHOTOMETRIC_PALETTE) {
        const std::size_t size = std::size_t(1) << l.bits;
        map.assign(size * 3, 0);
        for (const auto& [index, colour] :
             {std::pair{l.left[0], l.leftColour}, std::pair{l.right[0], l.rightColour}}) {
            map[index] = static_cast<std::uint16_t>(qRed(colour) * 257);
            map[size + index] = static_cast<std::uint16_t>(qGreen(colour) * 257);
            map[2 * size + index] = static_cast<std::uint16_t>(qBlue(colour) * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + size, map.data() + 2 * size);
    }
    if (l.photometric == PHOTOMETRIC_SEPARATED) {
        TIFFSetField(tif, TIFFTAG_INKSET, INKSET_CMYK);
    }
    if (l.compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    }
    if (l.compression == COMPRESSION_LZW) {
        TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    }
    if (l.tiled) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, 16);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, 16);
        const QByteArray row = packRow(l, -1);
        const int bytesPerPixel = row.size() / kTiffWidth;
        for (int ty = 0; ty < kTiffHeight; ty += 16) {
            for (int tx = 0; tx < kTiffWidth; tx += 16) {
                QByteArray tile(16 * 16 * bytesPerPixel, '\0');
                for (int r = 0; r < 16; ++r) {
                    for (int c = 0; c < 16 && tx + c < kTiffWidth; ++c) {
                        std::memcpy(tile.data() + (r * 16 + c) * bytesPerPixel,
                                    row.constData() + (tx + c) * bytesPerPixel,
                                    static_cast<size_t>(bytesPerPixel));
                    }
                }
                TIFFWriteTile(tif, tile.data(), static_cast<std::uint32_t>(tx),
                              static_cast<std::uint32_t>(ty), 0, 0);
            }
        }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, l.compression == COMPRESSION_JPEG ? 16 : 8);
        for (int plane = l.separatePlanes ? 0 : -1; plane < (l.separatePlanes ? l.samples : 0);
             ++plane) {
            for (int y = 0; y < kTiffHeight; ++y) {
                QByteArray row = packRow(l, plane);
                TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y),
                                  static_cast<std::uint16_t>(std::max(plane, 0)));
            }
        }
    }
    TIFFClose(tif);
}

class TiffLayoutTest : public testing::TestWithParam<TiffLayout> {};

TEST_P(TiffLayoutTest, LoadsWithTheRightLayoutAndColours) {
    const TiffLayout& l = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("layout.tif"));
    writeTiffLayout(path, l);
    QImage bitmap;
    TImageIO io;
    io.BindBitmap(&bitmap);
    io.LoadImageFile(path);
    ASSERT_FALSE(io.IoFailed()) << io.lastError().toStdString();
    EXPECT_EQ(bitmap.format(), l.format);
    ASSERT_EQ(bitmap.size(), QSize(kTiffWidth, kTiffHeight));
    const QImage rgb = bitmap.convertToFormat(QImage::Format_RGB888);
    for (const auto& [point, expected] : {std::pair{QPoint(1, 1), l.leftColour},
                                          std::pair{QPoint(kTiffWidth - 2, 18), l.rightColour}}) {
        const QRgb got = rgb.pixel(point);
        EXPECT_LE(colourDistance(got, expected), l.compression == COMPRESSION_JPEG ? 8 : 0)
            << std::hex << got << " at " << point.x() << "," << point.y();
    }
    EXPECT_EQ(io.Params().dpiX, 102);
    EXPECT_EQ(io.Params().tiffCompression, l.loadedCompression);
}

constexpr std::uint16_t kRgbPhoto = PHOTOMETRIC_RGB;
constexpr std::uint32_t kFull16 = 65535;

const TiffLayout kTiffLayouts[] = {
    {"gray_4bit",
     4,
     1,
     PHOTOMETRIC_MINISBLACK,
     COMPRESSION_NONE,
     false,
     false,
     {0},
     {15},
     IDX,
     kBlack,
     kWhite,
     TC::None},
    {"gray_16bit",
     16,
     1,
     PHOTOMETRIC_MINISBLACK,
     COMPRESSION_NONE,
     false,
     false,
     {0},
     {0x8080},
     IDX,
     kBlack,
     qRgb(128, 128, 128),
     TC::None},
    {"gray_min_is_white",
     8,
     1,
     PHOTOMETRIC_MINISWHITE,
     COMPRESSION_NONE,
     false,
     false,
     {255},
     {0},
     IDX,
     kBlack,
     kWhite,
     TC::None},
    {"gray_with_alpha",
     8,
     2,
     PHOTOMETRIC_MINISBLACK,
     COMPRESSION_NONE,
     false,
     false,
     {0, 255},
     {255, 255},
     IDX,
     kBlack,
     kWhite,
     TC::None},
    {"bilevel_min_is_black",
     1,
     1,
     PHOTOMETRIC_MINISBLACK,
     COMPRESSION_NONE,
     false,
     false,
     {0},
     {1},
     MONO,
     kBlack,
     kWhite,
     TC::None},
    {"palette_1bit",
     1,
     1,
     PHOTOMETRIC_PALETTE,
     COMPRESSION_NONE,
     false,
     false,
     {0},
     {1},
     MONO,
     kRed,
     kBlue,
     TC::None},
    {"palette_4bit",
     4,
     1,
     PHOTOMETRIC_PALETTE,
     COMPRESSION_NONE,
     false,
     false,
     {3},
     {12},
     IDX,
     kRed,
     kBlue,
     TC::None},
    {"palette_8bit",
     8,
     1,
     PHOTOMETRIC_PALETTE,
     COMPRESSION_PACKBITS,
     false,
     false,
     {17},
     {200},
     IDX,
     kRed,
     kBlue,
     TC::PackBits},
    {"rgb_16bit",
     16,
     3,
     kRgbPhoto,
     COMPRESSION_NONE,
     false,
     false,
     {kFull16, 0, 0},
     {0, 0, kFull16},
     RGB,
     kRed,
     kBlue,
     TC::None},
    {"rgba",
     8,
     4,
     kRgbPhoto,
     COMPRESSION_NONE,
     false,
     false,
     {255, 0, 0, 255},
     {0, 0, 255, 0},
     RGB,
     kRed,
     kBlue,
     TC::None},
    {"rgb_lzw_predictor",
     8,
     3,
     kRgbPhoto,
     COMPRESSION_LZW,
     false,
     false,
     {255, 0, 0},
     {0, 0, 255},
     RGB,
     kRed,
     kBlue,
     TC::Lzw},
    {"rgb_deflate_is_other",
     8,
     3,
     kRgbPhoto,
     COMPRESSION_ADOBE_DEFLATE,
     false,
     false,
     {255, 0, 0},
     {0, 0, 255},
     RGB,
     kRed,
     kBlue,
     TC::Other},
    {"rgb_separate_planes",
     8,
     3,
     kRgbPhoto,
     COMPRESSION_NONE,
     true,
     false,
     {255, 0, 0},
     {0, 0, 255},
     RGB,
     kRed,
     kBlue,
     TC::None},
    {"rgb_tiled",
     8,
     3,
     kRgbPhoto,
     COMPRESSION_NONE,
     false,
     true,
     {255, 0, 0},
     {0, 0, 255},
     RGB,
     kRed,
     kBlue,
     TC::None},
    {"cmyk",
     8,
     4,
     PHOTOMETRIC_SEPARATED,
     COMPRESSION_NONE,
     false,
     false,
     {0, 255, 255, 0},
     {255, 255, 0, 0},
     RGB,
     kRed,
     kBlue,
     TC::None},
    {"jpeg_ycbcr",
     8,
     3,
     PHOTOMETRIC_YCBCR,
     COMPRESSION_JPEG,
     false,
     false,
     {255, 0, 0},
     {0, 0, 255},
     RGB,
     kRed,
     kBlue,
     TC::Jpeg},
};

INSTANTIATE_TEST_SUITE_P(Layouts, TiffLayoutTest, testing::ValuesIn(kTiffLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ImageIoTest, UnknownExtensionFailsAndLeavesTheBitmapAlone) {
    QTemporaryDir dir;
    const QString dcm = dir.filePath(QStringLiteral("study.dcm"));
    testutil::writeFile(dcm, "DICM");
    QImage bitmap = colourPage(5, 5);
    const QImage before = bitmap;
    TImageIO io;
    io.BindBitmap(&bitmap);
    io.Params().dpiX = 123;
    for (const QString& path : {dcm, dir.filePath(QStringLiteral("missing.dcm")),
                                dir.filePath(QStringLiteral("no-extension"))}) {
        io.LoadImageFile(path); // no open error: the extension decides first
        EXPECT_TRUE(io.IoFailed());
        EXPECT_EQ(bitmap, before);
        EXPECT_EQ(io.Params().dpiX, 123);
    }
    io.SaveImageFile(dir.filePath(QStringLiteral("out.dcm")));
    EXPECT_TRUE(io.IoFailed());
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("out.dcm"))));
}

TEST(ImageIoTest, WithoutABoundBitmapTheInstanceUsesItsOwn) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("own.png"));
    QImage page = colourPage(9, 7);
    TImageIO io;
    io.BindBitmap(&page);
    io.SaveImageFile(path);
    io.BindBitmap(nullptr);
    io.LoadImageFile(path);
    ASSERT_FALSE(io.IoFailed());
    EXPECT_EQ(io.bitmap().size(), QSize(9, 7));
    EXPECT_EQ(page.size(), QSize(9, 7)); // the formerly bound bitmap is not touched
}

// A load into the same bitmap may reuse its buffer; nothing of the old page may show through,
// and a copy the caller kept must not change.
TEST(ImageIoTest, ReloadingIntoTheSameBitmapGivesOnlyTheNewPage) {
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.png"));
    const QString second = dir.filePath(QStringLiteral("second.png"));
    QImage page = colourPage(40, 30);
    TImageIO writer;
    writer.BindBitmap(&page);
    writer.Params().dpiX = writer.Params().dpiY = 300;
    writer.SaveImageFile(first);
    page = testutil::noisyPage(40, 30);
    writer.Params().clearFileValues(); // no resolution in the second file
    writer.SaveImageFile(second);

    QImage bitmap;
    TImageIO io;
    io.BindBitmap(&bitmap);
    io.LoadImageFile(first);
    const QImage kept = bitmap;
    io.LoadImageFile(second);
    EXPECT_EQ(testutil::maxChannelDifference(kept, colourPage(40, 30)), 0);
    io.LoadImageFile(first);
    io.LoadImageFile(second); // this time the buffer is free to reuse
    EXPECT_EQ(testutil::maxChannelDifference(bitmap, page), 0);
    EXPECT_EQ(bitmap.dotsPerMeterX(), QImage(1, 1, bitmap.format()).dotsPerMeterX());
    EXPECT_EQ(io.Params().dpiX, 0);
}

TEST(ImageIoTest, FailedSaveKeepsTheOldFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("page.png"));
    testutil::writeFile(path, "old contents");
    QImage empty;
    TImageIO io;
    io.BindBitmap(&empty); // nothing to encode
    io.SaveImageFile(path);
    EXPECT_TRUE(io.IoFailed());
    EXPECT_EQ(testutil::readFile(path), QByteArray("old contents"));
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files).size(), 1); // no temporary file left
}

TEST(ImageIoTest, SaveThatCannotCreateTheFileRaisesTheOpenError) {
    QTemporaryDir dir;
    QImage page = colourPage(4, 4);
    TImageIO io;
    io.BindBitmap(&page);
    QDir(dir.path()).mkdir(QStringLiteral("folder.jpg"));
    for (const QString& path : {dir.filePath(QStringLiteral("missing/page.jpg")),
                                dir.filePath(QStringLiteral("folder.jpg"))}) {
        try {
            io.SaveImageFile(path);
            ADD_FAILURE() << "no open error for " << path.toStdString();
        } catch (const ImageOpenError& error) {
            EXPECT_EQ(error.access(), ImageOpenError::Access::Write);
            EXPECT_EQ(error.path(), path);
        }
    }
}

} // namespace
