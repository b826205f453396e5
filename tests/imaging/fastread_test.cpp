// SPDX-License-Identifier: GPL-3.0-or-later
// The fast reads: header only, decoding for a target size, the top-left region, and loads on
// several threads at once.

#include "imagetestutil.h"
#include "imaging/imagereader.h"
#include "imaging/timageio.h"

#include <QTemporaryDir>

#include <cstdio>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <jpeglib.h>

namespace {

using testutil::noisyPage;

struct JpegLayout {
    const char* name;
    int hSampling; ///< of the luminance; chroma is 1 x 1
    int vSampling;
    bool gray;
    bool progressive;
};

// Writes a JPEG with libjpeg directly, for the sampling layouts the component does not write.
void writeJpeg(const QString& path, const QImage& image, const JpegLayout& layout) {
    const QImage source = layout.gray ? image.convertToFormat(QImage::Format_Grayscale8)
                                      : image.convertToFormat(QImage::Format_RGB888);
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "wb");
    ASSERT_NE(file, nullptr);
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, file);
    cinfo.image_width = static_cast<JDIMENSION>(source.width());
    cinfo.image_height = static_cast<JDIMENSION>(source.height());
    cinfo.input_components = layout.gray ? 1 : 3;
    cinfo.in_color_space = layout.gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    if (!layout.gray) {
        cinfo.comp_info[0].h_samp_factor = layout.hSampling;
        cinfo.comp_info[0].v_samp_factor = layout.vSampling;
    }
    if (layout.progressive) {
        jpeg_simple_progression(&cinfo);
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        auto* row =
            const_cast<JSAMPROW>(source.constScanLine(static_cast<int>(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(file);
}

QString savedBy(const QDir& dir, const QString& name, QImage image, int dpi = 300) {
    const QString path = dir.filePath(name);
    TImageIO io;
    io.BindBitmap(&image);
    io.Params().dpiX = io.Params().dpiY = dpi;
    io.SaveImageFile(path);
    return path;
}

QImage fullLoad(const QString& path) {
    QImage image;
    TImageIO io;
    io.BindBitmap(&image);
    io.LoadImageFile(path);
    return image;
}

TEST(FastReadTest, HeaderGivesTheSizeAndValuesWithoutPixels) {
    QTemporaryDir temp;
    const QDir dir(temp.path());
    for (const char* name : {"page.jpg", "page.png", "page.tif", "page.bmp"}) {
        const QString path = savedBy(dir, QString::fromLatin1(name), noisyPage(123, 45), 200);
        const imaging::ImageReadResult header = imaging::readImageHeader(path);
        EXPECT_FALSE(header.failed) << name;
        EXPECT_TRUE(header.image.isNull()) << name;
        EXPECT_EQ(header.fullSize, QSize(123, 45)) << name;
        EXPECT_EQ(header.params.dpiX, 200) << name;
    }
}

struct ScaleCase {
    QSize minimum;
    int denominator;
    QSize decoded;
};

TEST(FastReadTest, JpegDecodesAtTheSmallestScaleThatCoversTheTarget) {
    QTemporaryDir temp;
    // Smooth areas and large blocks: a scaled decode should match a scaled full decode.
    QImage page(803, 601, QImage::Format_RGB888);
    for (int y = 0; y < page.height(); ++y) {
        for (int x = 0; x < page.width(); ++x) {
            page.setPixel(x, y, qRgb(x * 255 / 802, y * 255 / 600, (x / 100 + y / 100) % 2 * 200));
        }
    }
    const QString path = savedBy(QDir(temp.path()), QStringLiteral("page.jpg"), page);
    const QImage full = fullLoad(path);
    const ScaleCase cases[] = {
        {{64, 64}, 8, {101, 76}},    // a thumbnail
        {{101, 76}, 8, {101, 76}},   // exactly the 1/8 size
        {{102, 10}, 4, {201, 151}},  // one pixel more
        {{300, 300}, 2, {402, 301}}, // a fitted page
        {{402, 302}, 1, {803, 601}},
        {{5000, 5000}, 1, {803, 601}}, // larger than the image: full size
    };
    for (const ScaleCase& c : cases) {
        const imaging::ImageReadResult result = imaging::readImageForSize(path, c.minimum);
        ASSERT_FALSE(result.failed) << result.error.toStdString();
        EXPECT_EQ(result.scaleDenominator, c.denominator) << c.minimum.width();
        EXPECT_EQ(result.image.size(), c.decoded) << c.minimum.width();
        EXPECT_EQ(result.fullSize, QSize(803, 601));
        EXPECT_EQ(result.params.dpiX, 300);
        EXPECT_EQ(result.image.dotsPerMeterX(), qRound(300.0 / c.denominator / 0.0254));
        // The small decode shows the same picture as the full one scaled down.
        const QImage reference =
            full.scaled(result.image.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        EXPECT_LT(testutil::meanChannelDifference(result.image, reference), 6.0);
    }
}

TEST(FastReadTest, OtherFormatsDecodeForSizeAtFullSize) {
    QTemporaryDir temp;
    const QString path =
        savedBy(QDir(temp.path()), QStringLiteral("page.png"), testutil::colourPage(300, 200));
    const imaging::ImageReadResult result = imaging::readImageForSize(path, QSize(64, 64));
    ASSERT_FALSE(result.failed);
    EXPECT_EQ(result.scaleDenominator, 1);
    EXPECT_EQ(testutil::maxChannelDifference(result.image, fullLoad(path)), 0);
}

// The region decode must give exactly the pixels of a full decode and crop, whatever the
// sampling of the file: the smooth upsampling of chroma is where a partial decode can differ.
class TopLeftTest : public testing::TestWithParam<JpegLayout> {};

TEST_P(TopLeftTest, RegionEqualsFullDecodeCropped) {
    QTemporaryDir temp;
    const QString path = QDir(temp.path()).filePath(QStringLiteral("page.jpg"));
    writeJpeg(path, noisyPage(1001, 1203), GetParam());
    const QImage full = fullLoad(path);
    ASSERT_FALSE(full.isNull());
    for (const QSize region : {QSize(634, 934), QSize(1, 1), QSize(17, 5), QSize(1001, 3),
                               QSize(999, 1203), QSize(2000, 2000)}) {
        const imaging::ImageReadResult result = imaging::readImageTopLeft(path, region);
        ASSERT_FALSE(result.failed) << result.error.toStdString();
        const QSize expected = region.boundedTo(QSize(1001, 1203));
        ASSERT_EQ(result.image.size(), expected);
        EXPECT_EQ(result.image.format(), full.format());
        EXPECT_EQ(result.image, full.copy(QRect(QPoint(0, 0), expected)))
            << region.width() << "x" << region.height();
    }
}

const JpegLayout kJpegLayouts[] = {
    {"sampling_420", 2, 2, false, false}, {"sampling_422", 2, 1, false, false},
    {"sampling_444", 1, 1, false, false}, {"sampling_411", 4, 1, false, false},
    {"gray", 1, 1, true, false},          {"progressive_420", 2, 2, false, true},
};

INSTANTIATE_TEST_SUITE_P(Jpeg, TopLeftTest, testing::ValuesIn(kJpegLayouts),
                         [](const auto& info) { return std::string(info.param.name); });

/// The luminance of \p image (the weights of a JPEG's Y channel), as Format_Grayscale8.
QImage luminanceOf(const QImage& image) {
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    QImage grey(rgb.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* in = rgb.constScanLine(y);
        for (int x = 0; x < rgb.width(); ++x, in += 3) {
            grey.scanLine(y)[x] =
                static_cast<uchar>((299 * in[0] + 587 * in[1] + 114 * in[2] + 500) / 1000);
        }
    }
    return grey;
}

// The grey read of a colour JPEG is its luminance: what a full decode converted to grey gives,
// within the rounding of the two colour transforms, for every sampling layout; other formats
// are converted by the same weights.
TEST(FastReadTest, GreyReadIsTheLuminanceOfTheFullDecode) {
    QTemporaryDir temp;
    const QDir dir(temp.path());
    QStringList paths;
    for (const JpegLayout& layout : kJpegLayouts) {
        paths << dir.filePath(QString::fromLatin1(layout.name) + QStringLiteral(".jpg"));
        writeJpeg(paths.last(), noisyPage(301, 203), layout);
    }
    paths << savedBy(dir, QStringLiteral("page.png"), noisyPage(90, 70))
          << savedBy(dir, QStringLiteral("mono.tif"), testutil::monoPage(90, 70));
    for (const QString& path : paths) {
        const imaging::ImageReadResult grey = imaging::readGreyImage(path);
        ASSERT_FALSE(grey.failed) << path.toStdString();
        EXPECT_EQ(grey.image.format(), QImage::Format_Grayscale8);
        const QImage reference = luminanceOf(fullLoad(path));
        ASSERT_EQ(grey.image.size(), reference.size());
        // A colour decode clips what the colour transform pushes out of range; its luminance
        // then differs in places, the JPEG's own luminance does not.
        EXPECT_LT(testutil::meanChannelDifference(grey.image, reference), 1.0)
            << path.toStdString();
    }
}

TEST(FastReadTest, OtherFormatsCropAfterAFullDecode) {
    QTemporaryDir temp;
    const QDir dir(temp.path());
    for (const char* name : {"page.png", "page.tif", "page.bmp"}) {
        const QString path = savedBy(dir, QString::fromLatin1(name), noisyPage(90, 70));
        const imaging::ImageReadResult result = imaging::readImageTopLeft(path, QSize(40, 100));
        ASSERT_FALSE(result.failed) << name;
        EXPECT_EQ(result.image, fullLoad(path).copy(0, 0, 40, 70)) << name;
    }
}

// Several threads load at once, each with its own TImageIO, as the page list and the composer
// do; corrupt files among them report their own errors and nothing leaks between threads.
TEST(FastReadTest, ThreadsDecodeIndependently) {
    QTemporaryDir temp;
    const QDir dir(temp.path());
    QStringList paths;
    for (const char* name : {"a.jpg", "b.png", "c.tif", "d.bmp"}) {
        paths << savedBy(dir, QString::fromLatin1(name), noisyPage(150, 120));
    }
    const QString brokenTiff = dir.filePath(QStringLiteral("broken.tif"));
    testutil::writeFile(brokenTiff, testutil::readFile(paths[2]).left(400));
    const QString brokenPng = dir.filePath(QStringLiteral("broken.png"));
    testutil::writeFile(brokenPng, testutil::readFile(paths[1]).left(3000));
    paths << brokenTiff << brokenPng;

    struct Expected {
        bool failed;
        QString error;
        QImage image;
    };
    std::vector<Expected> expected;
    for (const QString& path : paths) {
        QImage image;
        TImageIO io;
        io.BindBitmap(&image);
        io.LoadImageFile(path);
        expected.push_back({io.IoFailed(), io.lastError(), image});
    }
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            QImage image;
            TImageIO io;
            io.BindBitmap(&image);
            for (int round = 0; round < 10; ++round) {
                for (qsizetype i = 0; i < paths.size(); ++i) {
                    const qsizetype k = (i + t) % paths.size();
                    io.LoadImageFile(paths[k]);
                    const Expected& e = expected[static_cast<size_t>(k)];
                    if (io.IoFailed() != e.failed || io.lastError() != e.error ||
                        image != e.image) {
                        ++mismatches[static_cast<size_t>(t)];
                    }
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
    EXPECT_TRUE(expected[4].failed);
    EXPECT_TRUE(expected[5].failed);
}

} // namespace
