// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/pdfimages.h"

#include "pdf/pdfjpegimage.h"

#include <string>

namespace {

using TCreatorFactory = std::unique_ptr<TPdfImageCreator> (*)();

template <class T> std::unique_ptr<TPdfImageCreator> Make() {
    return std::make_unique<T>();
}

struct TRegisteredCreator {
    const char* name;
    TCreatorFactory factory;
};

constexpr TRegisteredCreator kRegisteredCreators[] = {
    {"Pdf-Jpeg", Make<TPdfJpegImage>},
    {"Pdf-Bitmap", Make<TPdfBitmapImage>},
};

constexpr char kHexDigits[] = "0123456789ABCDEF";

/// The palette index of pixel \p x in a row of 1, 4 or 8 bits per pixel.
std::uint8_t PaletteIndex(const std::uint8_t* row, int x, int bitsPerPixel) {
    switch (bitsPerPixel) {
    case 1:
        return (row[x / 8] >> (7 - x % 8)) & 0x1;
    case 4:
        return (row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 0xF;
    default:
        return row[x];
    }
}

} // namespace

std::unique_ptr<TPdfImage> CreatePdfImage(const TPdfGraphic& picture,
                                          std::string_view creatorName) {
    for (const auto& creator : kRegisteredCreators) {
        if (creatorName == creator.name) {
            return creator.factory()->CreateImage(picture);
        }
    }
    throw std::runtime_error("AddImage --InvalidImageClassName:" + std::string(creatorName));
}

std::unique_ptr<TPdfImage> TPdfBitmapImage::CreateImage(const TPdfGraphic& picture) {
    const auto* bitmap = std::get_if<TPdfBitmapPicture>(&picture);
    if (!bitmap) {
        throw EPdfInvalidValue("only bitmap image is allowed.");
    }
    const int bits = bitmap->bitsPerPixel;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24) {
        throw EPdfInvalidImageFormat("unsupported bitmap depth: " + std::to_string(bits) +
                                     " bits per pixel.");
    }
    if (bitmap->IsEmpty()) {
        // An image without samples is not valid in a PDF; readers refuse the page.
        throw EPdfInvalidImageFormat("the bitmap has no pixels.");
    }
    const int width = bitmap->width;
    const int height = bitmap->height;
    const std::size_t rowBytes = bitmap->RowBytes();
    if (bitmap->pixels.size() < rowBytes * static_cast<std::size_t>(height)) {
        throw EPdfInvalidImageFormat("the bitmap holds fewer pixels than its size.");
    }

    auto image = std::make_unique<TPdfImage>();
    TPdfDictionary& attributes = image->Attributes();
    attributes.Put("Type", std::make_unique<TPdfName>("XObject"));
    attributes.Put("Subtype", std::make_unique<TPdfName>("Image"));
    std::string& data = image->Data();

    if (bits == 24) {
        attributes.Put("ColorSpace", std::make_unique<TPdfName>("DeviceRGB"));
        data.reserve(static_cast<std::size_t>(width) * 3 * static_cast<std::size_t>(height));
        for (int y = 0; y < height; ++y) {
            const auto* row = bitmap->pixels.data() + rowBytes * static_cast<std::size_t>(y);
            data.append(reinterpret_cast<const char*>(row), static_cast<std::size_t>(width) * 3);
        }
    } else {
        if (bitmap->palette.empty() || bitmap->palette.size() > 256) {
            throw EPdfInvalidImageFormat("failed to get Palette..");
        }
        data.reserve(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
        for (int y = 0; y < height; ++y) {
            const auto* row = bitmap->pixels.data() + rowBytes * static_cast<std::size_t>(y);
            for (int x = 0; x < width; ++x) {
                data += static_cast<char>(PaletteIndex(row, x, bits));
            }
        }
        // Always 256 entries; those the bitmap does not define are black.
        auto palette = std::make_unique<TPdfBinary>();
        std::string& text = palette->Data();
        text = "<";
        for (std::size_t i = 0; i < 256; ++i) {
            const TPdfRgb colour = i < bitmap->palette.size() ? bitmap->palette[i] : TPdfRgb{};
            for (const std::uint8_t component : {colour.red, colour.green, colour.blue}) {
                text += kHexDigits[component >> 4];
                text += kHexDigits[component & 0xF];
            }
            text += ' ';
        }
        text += '>';
        auto colorSpace = std::make_unique<TPdfArray>();
        colorSpace->Append(std::make_unique<TPdfName>("Indexed"));
        colorSpace->Append(std::make_unique<TPdfName>("DeviceRGB"));
        colorSpace->Append(std::make_unique<TPdfNumber>(255));
        colorSpace->Append(std::move(palette));
        attributes.Put("ColorSpace", std::move(colorSpace));
    }
    attributes.Put("Width", std::make_unique<TPdfNumber>(width));
    attributes.Put("Height", std::make_unique<TPdfNumber>(height));
    attributes.Put("BitsPerComponent", std::make_unique<TPdfNumber>(8));
    return image;
}
