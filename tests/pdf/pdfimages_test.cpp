// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/pdfimages.h"
#include "pdf/pdfjpegimage.h"

#include "pdftestsupport.h"

#include <gtest/gtest.h>

using pdftest::ExpectError;
using pdftest::Written;

namespace {

TEST(JpegImages, BytesAreEmbeddedUnchanged) {
    const TPdfJpegPicture jpeg = pdftest::JpegFixture("page1.jpg", 64, 48);
    auto image = CreatePdfImage(jpeg, "Pdf-Jpeg");
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->ObjectType(), TPdfObjectType::otDirect);
    const std::string bytes(jpeg.bytes.begin(), jpeg.bytes.end());
    EXPECT_EQ(Written(*image), "<<\r\n/Length " + std::to_string(bytes.size()) +
                                   "\r\n/Filter [/DCTDecode ]\r\n/Type /XObject\r\n"
                                   "/Subtype /Image\r\n/ColorSpace /DeviceRGB\r\n/Width 64\r\n"
                                   "/Height 48\r\n/BitsPerComponent 8\r\n>>\r\nstream\r\n" +
                                   bytes + "\nendstream");
}

TEST(JpegImages, PicturesThatCannotBeEmbeddedAreRefused) {
    const TPdfJpegPicture jpeg = pdftest::JpegFixture("page1.jpg", 64, 48);
    TPdfJpegImage creator;
    ExpectError<EPdfInvalidValue>([&] { creator.CreateImage(TPdfBitmapPicture{}); },
                                  "only jpeg image is allowed.");

    TPdfJpegPicture wrongSize = jpeg;
    wrongSize.width = 634;
    ExpectError<EPdfInvalidImageFormat>(
        [&] { creator.CreateImage(wrongSize); },
        "the JPEG frame (64x48, 3 components of 8 bits) is not the picture's 8-bit RGB 634x48.");

    // The frame header's component count, as a greyscale JPEG would have it.
    TPdfJpegPicture grey = jpeg;
    for (size_t i = 2; i + 9 < grey.bytes.size(); ++i) {
        if (grey.bytes[i] == 0xFF && grey.bytes[i + 1] == 0xC0) {
            grey.bytes[i + 9] = 1;
            break;
        }
    }
    EXPECT_THROW(creator.CreateImage(grey), EPdfInvalidImageFormat);

    TPdfJpegPicture notJpeg{{'G', 'I', 'F', '8', '9', 'a'}, 64, 48};
    ExpectError<EPdfInvalidImageFormat>([&] { creator.CreateImage(notJpeg); },
                                        "the picture's data is not a JPEG file.");
    TPdfJpegPicture cut = jpeg;
    cut.bytes.resize(20);
    EXPECT_THROW(creator.CreateImage(cut), EPdfInvalidImageFormat);

    ExpectError<std::runtime_error>([&] { CreatePdfImage(jpeg, "Pdf-Png"); },
                                    "AddImage --InvalidImageClassName:Pdf-Png");
}

TEST(BitmapImages, PaletteDepthsBecomeEightBitIndexes) {
    const std::vector<TPdfRgb> palette = {{0xFF, 0, 0}, {0, 0x80, 0x0A}, {1, 2, 3}};
    const struct {
        const char* name;
        TPdfBitmapPicture picture;
        std::string data;
    } cases[] = {
        {"1 bit",
         {10, 2, 1, palette, {0b10110000, 0b01000000, 0b00000000, 0b11000000}},
         std::string("\1\0\1\1\0\0\0\0\0\1\0\0\0\0\0\0\0\0\1\1", 20)},
        {"4 bits", {3, 1, 4, palette, {0x12, 0x00}}, std::string("\1\2\0", 3)},
        {"8 bits", {2, 2, 8, palette, {2, 1, 0, 2}}, std::string("\2\1\0\2", 4)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto image = CreatePdfImage(c.picture, "Pdf-Bitmap");
        EXPECT_EQ(image->Data(), c.data);
        const TPdfArray* colorSpace = image->Attributes().LookupArray("ColorSpace");
        ASSERT_NE(colorSpace, nullptr);
        const std::string written = Written(*image->Attributes().LookupArray("ColorSpace"));
        const std::string head = "[/Indexed /DeviceRGB 255 <FF0000 00800A 010203 000000 ";
        EXPECT_EQ(written.substr(0, head.size()), head);
        EXPECT_EQ(written.size(), 26u + 256 * 7 + 3);
        EXPECT_EQ(written.substr(written.size() - 10), "000000 > ]");
        EXPECT_EQ(image->Attributes().LookupNumber("Width")->Value(), c.picture.width);
        EXPECT_EQ(image->Attributes().LookupArray("Filter")->ItemCount(), 0);
    }
}

TEST(BitmapImages, TwentyFourBitsAsRgbAndRefusals) {
    TPdfBitmapPicture rgb{2, 1, 24, {}, {1, 2, 3, 4, 5, 6}};
    auto image = CreatePdfImage(rgb, "Pdf-Bitmap");
    EXPECT_EQ(Written(*image), "<<\r\n/Length 6\r\n/Filter []\r\n/Type /XObject\r\n"
                               "/Subtype /Image\r\n/ColorSpace /DeviceRGB\r\n/Width 2\r\n"
                               "/Height 1\r\n/BitsPerComponent 8\r\n>>\r\nstream\r\n"
                               "\1\2\3\4\5\6\nendstream");

    TPdfBitmapImage creator;
    ExpectError<EPdfInvalidValue>([&] { creator.CreateImage(TPdfJpegPicture{}); },
                                  "only bitmap image is allowed.");
    ExpectError<EPdfInvalidImageFormat>(
        [&] {
            creator.CreateImage(TPdfBitmapPicture{1, 1, 8, {}, {0}});
        },
        "failed to get Palette..");
    ExpectError<EPdfInvalidImageFormat>(
        [&] {
            creator.CreateImage(TPdfBitmapPicture{2, 2, 24, {}, {1, 2, 3}});
        },
        "the bitmap holds fewer pixels than its size.");
    ExpectError<EPdfInvalidImageFormat>(
        [&] {
            creator.CreateImage(TPdfBitmapPicture{0, 1, 24, {}, {}});
        },
        "the bitmap has no pixels.");
    ExpectError<EPdfInvalidImageFormat>(
        [&] {
            creator.CreateImage(TPdfBitmapPicture{1, 1, 16, {}, {0, 0}});
        },
        "unsupported bitmap depth: 16 bits per pixel.");
}

} // namespace
