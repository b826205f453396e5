// SPDX-License-Identifier: GPL-3.0-or-later
// Files that must not load: truncated, corrupt, mislabelled, empty and oversized ones, and
// paths that cannot be opened. Each ends in IoFailed or the open error with the bitmap in a
// defined state, never in a crash, a hang or a huge allocation (the suite also runs under
// AddressSanitizer).

#include "imagetestutil.h"
#include "imaging/imagereader.h"
#include "imaging/timageio.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <functional>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <tiffio.h>
#include <unistd.h>
#include <zlib.h>

namespace {

using testutil::noisyPage;

constexpr QSize kPage(200, 150);

// The bytes of kPage saved by the component in the format of \p extension.
QByteArray encoded(const QString& extension) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("page.") + extension);
    QImage page = noisyPage(kPage.width(), kPage.height());
    TImageIO io;
    io.BindBitmap(&page);
    io.SaveImageFile(path);
    return testutil::readFile(path);
}

QByteArray cut(QByteArray bytes, double fraction) {
    bytes.truncate(static_cast<qsizetype>(bytes.size() * fraction));
    return bytes;
}

void put32be(QByteArray& bytes, qsizetype at, quint32 value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(value >> (24 - 8 * i));
    }
}

void put32le(QByteArray& bytes, qsizetype at, quint32 value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>(value >> (8 * i));
    }
}

// Sets the size in the frame header of a JPEG.
QByteArray jpegWithSize(int width, int height) {
    QByteArray bytes = encoded(QStringLiteral("jpg"));
    const qsizetype sof = bytes.indexOf(QByteArray("\xFF\xC0", 2));
    bytes[sof + 5] = static_cast<char>(height >> 8);
    bytes[sof + 6] = static_cast<char>(height);
    bytes[sof + 7] = static_cast<char>(width >> 8);
    bytes[sof + 8] = static_cast<char>(width);
    return bytes;
}

QByteArray jpegBadPrecision() {
    QByteArray bytes = encoded(QStringLiteral("jpg"));
    bytes[bytes.indexOf(QByteArray("\xFF\xC0", 2)) + 4] = 3;
    return bytes;
}

// Sets the size in the IHDR chunk of a PNG and fixes its CRC.
QByteArray pngWithSize(quint32 width, quint32 height) {
    QByteArray bytes = encoded(QStringLiteral("png"));
    put32be(bytes, 16, width);
    put32be(bytes, 20, height);
    const auto* chunk = reinterpret_cast<const Bytef*>(bytes.constData() + 12);
    put32be(bytes, 29, static_cast<quint32>(crc32(0, chunk, 17)));
    return bytes;
}

QByteArray pngBadHeaderCrc() {
    QByteArray bytes = encoded(QStringLiteral("png"));
    bytes[30] = static_cast<char>(bytes[30] ^ 0x55);
    return bytes;
}

// A little-endian TIFF of 8-bit grey with one strip at \p stripOffset, written by hand so that
// the directory comes first and the claims can be anything.
QByteArray handMadeTiff(quint32 width, quint32 height, quint32 stripOffset, quint32 stripBytes) {
    struct Entry {
        quint16 tag;
        quint16 type; // 3 SHORT, 4 LONG
        quint32 value;
    };
    const Entry entries[] = {{256, 4, width}, {257, 4, height}, {258, 3, 8},
                             {259, 3, 1},     {262, 3, 1},      {273, 4, stripOffset},
                             {277, 3, 1},     {278, 4, height}, {279, 4, stripBytes}};
    QByteArray bytes("II*\0", 4);
    bytes.append(QByteArray(4, '\0'));
    put32le(bytes, 4, 8);
    const auto count = static_cast<quint16>(std::size(entries));
    bytes.append(static_cast<char>(count));
    bytes.append('\0');
    for (const Entry& e : entries) {
        QByteArray entry(12, '\0');
        entry[0] = static_cast<char>(e.tag);
        entry[1] = static_cast<char>(e.tag >> 8);
        entry[2] = static_cast<char>(e.type);
        put32le(entry, 4, 1);
        put32le(entry, 8, e.value);
        bytes.append(entry);
    }
    bytes.append(QByteArray(4, '\0')); // no next directory
    return bytes;
}

QByteArray tiffWithCorruptLzwData() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("lzw.tif"));
    testutil::writeTiff(path, {noisyPage(kPage.width(), kPage.height())}, COMPRESSION_LZW);
    QByteArray bytes = testutil::readFile(path);
    // The strips come first, the directory last: spoil the data in the middle.
    for (qsizetype i = bytes.size() / 2; i < bytes.size() * 6 / 10; ++i) {
        bytes[i] = static_cast<char>(0xFF);
    }
    return bytes;
}

QByteArray bmpWithSize(quint32 width, quint32 height) {
    QByteArray bytes = encoded(QStringLiteral("bmp")).left(54);
    put32le(bytes, 18, width);
    put32le(bytes, 22, height);
    return bytes;
}

QByteArray bmpWithHeaderField(qsizetype at, quint32 value) {
    QByteArray bytes = encoded(QStringLiteral("bmp"));
    put32le(bytes, at, value);
    return bytes;
}

struct BadFile {
    const char* name; ///< also the file name
    std::function<QByteArray()> make;
    bool nothingDecoded;      ///< the bitmap must be null
    QPoint white{-1, -1};     ///< a pixel the decoder did not reach, which must be white
    int firstDecodedRow = -1; ///< a row that must equal the original
};

class BadFileTest : public testing::TestWithParam<BadFile> {};

TEST_P(BadFileTest, FailsWithTheBitmapInADefinedState) {
    const BadFile& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QString::fromLatin1(c.name));
    testutil::writeFile(path, c.make());

    QImage bitmap = noisyPage(3, 3);
    TImageIO io;
    io.BindBitmap(&bitmap);
    io.LoadImageFile(path);
    EXPECT_TRUE(io.IoFailed());
    EXPECT_FALSE(io.lastError().isEmpty());
    if (c.nothingDecoded) {
        EXPECT_TRUE(bitmap.isNull()) << bitmap.width() << "x" << bitmap.height();
    } else {
        EXPECT_EQ(bitmap.size(), kPage);
    }
    if (c.white.x() >= 0) {
        EXPECT_EQ(bitmap.pixel(c.white), qRgb(255, 255, 255));
    }
    if (c.firstDecodedRow >= 0) {
        const QImage original = noisyPage(kPage.width(), kPage.height());
        const int y = c.firstDecodedRow;
        EXPECT_EQ(testutil::maxChannelDifference(bitmap.copy(0, y, kPage.width(), 1),
                                                 original.copy(0, y, kPage.width(), 1)),
                  0);
    }

    // The fast reads go through the same decoders.
    EXPECT_TRUE(imaging::readImageForSize(path, QSize(1, 1)).failed);
    const imaging::ImageReadResult region = imaging::readImageTopLeft(path, QSize(50, 40));
    EXPECT_TRUE(region.image.isNull() || region.image.size() == QSize(50, 40));
}

const BadFile kBadFiles[] = {
    {"truncated-jpeg.jpg", [] { return cut(encoded(QStringLiteral("jpg")), 0.6); }, false,
     QPoint(199, 149)},
    {"jpeg-scan-ends-early.jpg",
     [] { return cut(encoded(QStringLiteral("jpg")), 0.6).append("\xFF\xD9", 2); }, false,
     QPoint(199, 149)},
    {"jpeg-bad-precision.jpg", jpegBadPrecision, true},
    {"jpeg-huge-dimensions.jpg", [] { return jpegWithSize(65000, 65000); }, true},
    {"png-named-jpg.jpg", [] { return encoded(QStringLiteral("png")); }, true},
    {"empty.jpg", [] { return QByteArray(); }, true},
    {"truncated-png.png", [] { return cut(encoded(QStringLiteral("png")), 0.6); }, false,
     QPoint(199, 149), 0},
    {"png-bad-header-crc.png", pngBadHeaderCrc, true},
    {"png-huge-dimensions.png", [] { return pngWithSize(100000, 100000); }, true},
    {"jpg-named-png.png", [] { return encoded(QStringLiteral("jpg")); }, true},
    {"empty.png", [] { return QByteArray(); }, true},
    {"truncated-tiff.tif", [] { return cut(encoded(QStringLiteral("tif")), 0.6); }, true},
    {"tiff-corrupt-lzw-data.tif", tiffWithCorruptLzwData, false, QPoint(199, 149), 0},
    {"tiff-strip-past-end.tif", [] { return handMadeTiff(200, 150, 1 << 20, 30000); }, false,
     QPoint(0, 0)},
    {"tiff-huge-dimensions.tif", [] { return handMadeTiff(100000, 100000, 200, 10); }, true},
    {"empty.tif", [] { return QByteArray(); }, true},
    {"truncated-bmp.bmp", [] { return cut(encoded(QStringLiteral("bmp")), 0.6); }, false,
     QPoint(0, 0), 149},
    {"bmp-8-bit-run-lengths-on-24-bits.bmp", [] { return bmpWithHeaderField(30, 1); }, true},
    {"bmp-unknown-header-size.bmp", [] { return bmpWithHeaderField(14, 7); }, true},
    {"bmp-huge-dimensions.bmp", [] { return bmpWithSize(40000, 40000); }, true},
    {"empty.bmp", [] { return QByteArray(); }, true},
};

std::string badFileName(const testing::TestParamInfo<BadFile>& info) {
    std::string name = info.param.name;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c))) {
            c = '_';
        }
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Corrupt, BadFileTest, testing::ValuesIn(kBadFiles), badFileName);

TEST(BadFileTest, OversizedHeaderIsRefusedBeforeAnyPixel) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("huge.png"));
    testutil::writeFile(path, pngWithSize(20000, 20000)); // 4 * 10^8 pixels
    const imaging::ImageReadResult header = imaging::readImageHeader(path);
    EXPECT_TRUE(header.failed);
    EXPECT_EQ(header.fullSize, QSize(20000, 20000));
    EXPECT_TRUE(header.error.contains(QStringLiteral("exceeds the limit")));
}

struct Unopenable {
    const char* name;
    std::function<QString(const QDir&)> make; ///< creates the obstacle, returns the path
};

class OpenErrorTest : public testing::TestWithParam<Unopenable> {};

TEST_P(OpenErrorTest, RaisesTheOpenErrorAndLeavesTheBitmapAlone) {
    QTemporaryDir temp;
    const QString path = GetParam().make(QDir(temp.path()));
    if (path.isEmpty()) {
        GTEST_SKIP() << "root reads every file; no unreadable file can be made";
    }
    QImage bitmap = noisyPage(3, 3);
    const QImage before = bitmap;
    TImageIO io;
    io.BindBitmap(&bitmap);
    try {
        io.LoadImageFile(path);
        ADD_FAILURE() << "no open error";
    } catch (const ImageOpenError& error) {
        EXPECT_EQ(error.path(), path);
        EXPECT_EQ(error.access(), ImageOpenError::Access::Read);
        EXPECT_TRUE(error.message().contains(path));
    }
    EXPECT_EQ(bitmap, before);
    EXPECT_THROW(imaging::readImageTopLeft(path, QSize(10, 10)), ImageOpenError);
}

const Unopenable kUnopenable[] = {
    {"missing", [](const QDir& d) { return d.filePath(QStringLiteral("missing.jpg")); }},
    {"folder_named_like_an_image",
     [](const QDir& d) {
         d.mkdir(QStringLiteral("scan.tif"));
         return d.filePath(QStringLiteral("scan.tif"));
     }},
    {"file_used_as_folder",
     [](const QDir& d) {
         testutil::writeFile(d.filePath(QStringLiteral("plain")), "x");
         return d.filePath(QStringLiteral("plain/page.png"));
     }},
    {"pipe_named_like_an_image",
     [](const QDir& d) {
         const QString path = d.filePath(QStringLiteral("pipe.bmp"));
         mkfifo(QFile::encodeName(path).constData(), 0600);
         return path;
     }},
    {"dangling_link",
     [](const QDir& d) {
         const QString path = d.filePath(QStringLiteral("link.jpg"));
         QFile::link(d.filePath(QStringLiteral("gone.jpg")), path);
         return path;
     }},
    {"unreadable",
     [](const QDir& d) {
         if (geteuid() == 0) {
             return QString();
         }
         const QString path = d.filePath(QStringLiteral("locked.png"));
         testutil::writeFile(path, encoded(QStringLiteral("png")));
         chmod(QFile::encodeName(path).constData(), 0);
         return path;
     }},
};

INSTANTIATE_TEST_SUITE_P(Paths, OpenErrorTest, testing::ValuesIn(kUnopenable),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
