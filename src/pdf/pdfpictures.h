// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Pictures as the PDF writer takes them: plain data, no toolkit types.

#include <cstddef>
#include <cstdint>
#include <variant>
#include <vector>

/// A complete JPEG file (from the SOI to the EOI marker) with its size in pixels. The writer
/// embeds the bytes unchanged; they must hold an 8-bit, three-component frame of that size.
struct TPdfJpegPicture {
    std::vector<unsigned char> bytes;
    int width = 0;
    int height = 0;

    bool IsEmpty() const { return bytes.empty() || width <= 0 || height <= 0; }
};

struct TPdfRgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
};

/// An uncompressed raster. Rows run from the top, each RowBytes() long without padding.
/// With 1, 4 or 8 bits per pixel a row holds palette indexes (the leftmost pixel in the high
/// bits of a byte); with 24 it holds red, green and blue bytes per pixel.
struct TPdfBitmapPicture {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 24;
    std::vector<TPdfRgb> palette;
    std::vector<std::uint8_t> pixels;

    std::size_t RowBytes() const {
        return (static_cast<std::size_t>(width) * static_cast<std::size_t>(bitsPerPixel) + 7) / 8;
    }
    bool IsEmpty() const { return width <= 0 || height <= 0; }
};

/// Any picture an image item can hold.
using TPdfGraphic = std::variant<TPdfJpegPicture, TPdfBitmapPicture>;
