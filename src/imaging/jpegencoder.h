// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// JPEG encoding into memory, for pages that go into a PDF rather than into a file.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace imaging {

/// A baseline JFIF file of \p image (expanded to 24-bit colour) at \p quality (1..100), with
/// the encoder's default parameters and no resolution. Empty, with \p error set, on failure.
/// Safe to call from several threads at once.
QByteArray encodeJpegBytes(const QImage& image, int quality, QString* error = nullptr);

} // namespace imaging
