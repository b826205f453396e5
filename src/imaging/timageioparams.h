// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The format parameters of an image file: what a load reads from the file and a save writes.

#include <QString>

#include <cstdint>

/// Compression of a TIFF file, as a load reports it and a save applies it.
enum class TiffCompression : std::uint8_t {
    None,     ///< tag 1
    CcittRle, ///< tag 2, CCITT modified Huffman
    G3OneD,   ///< tag 3 with T4Options bit 0 clear
    G3TwoD,   ///< tag 3 with T4Options bit 0 set
    G4,       ///< tag 4, CCITT T.6
    Lzw,      ///< tag 5; saved uncompressed, there is no LZW encoder
    OldJpeg,  ///< tag 6; saved uncompressed
    Jpeg,     ///< tag 7; saved as JPEG at the JPEG quality
    PackBits, ///< tag 32773
    Other,    ///< any other tag; saved uncompressed
};

/// Format parameters of one TImageIO. A load clears the per-file values and fills them from the
/// file; a save writes the resolution and, for TIFF, the compression. The JPEG and TIFF settings
/// below them are never changed by a load.
struct TImageIOParams {
    // Per-file values.
    int dpiX = 0; ///< horizontal resolution in dots per inch; 0 when the file records none
    int dpiY = 0; ///< vertical resolution in dots per inch; 0 when the file records none
    TiffCompression tiffCompression = TiffCompression::None;
    int bitsPerSample = 0; ///< as stored in the file (1 for bilevel); 0 before a load
    int samplesPerPixel =
        0; ///< as stored in the file (1 grey or palette, 3 colour); 0 before a load

    // Settings.
    int jpegQuality = 80;         ///< 1 to 100; JPEG is always written YCbCr
    bool jpegProgressive = false; ///< false: baseline
    int tiffPageIndex = 0;        ///< the page of a multi-page TIFF that a load reads

    /// Resets the per-file values: no resolution, no compression, unknown sample layout.
    void clearFileValues();
};

/// The Compression tag a save writes for \p compression (1 where there is no encoder).
int tiffCompressionTagWritten(TiffCompression compression);

/// Short English name for reports, e.g. "G4" or "LZW".
QString tiffCompressionName(TiffCompression compression);
