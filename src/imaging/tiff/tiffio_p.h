// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Opening a TIFF on our byte sources. Errors and warnings go to a handler of the file alone,
// never to libtiff's process-wide handlers, so several threads can decode at once.

#include <tiffio.h>

#include <cstdint>

namespace imaging {

class InputSource;
class MemorySink;

/// Collects the first error message of one TIFF.
struct TiffMessages {
    char error[256] = {};
};

/// Largest single allocation libtiff may make for one file (a strip or tile buffer).
inline constexpr tmsize_t kTiffMaxSingleAlloc = tmsize_t(256) << 20;

TIFF* openTiffForReading(InputSource* input, TiffMessages* messages);
TIFF* openTiffForWriting(MemorySink* sink, TiffMessages* messages);

/// Closes a TIFF when it goes out of scope.
class TiffCloser {
public:
    explicit TiffCloser(TIFF* tif) : m_tif(tif) {}
    ~TiffCloser() { TIFFClose(m_tif); }
    TiffCloser(const TiffCloser&) = delete;
    TiffCloser& operator=(const TiffCloser&) = delete;

private:
    TIFF* m_tif;
};

} // namespace imaging
