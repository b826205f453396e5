// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Image XObjects and the creators that turn a picture into one, chosen by registered name:
/// "Pdf-Jpeg" (JPEG data embedded unchanged) and "Pdf-Bitmap" (raw pixels).

#include "pdf/pdfpictures.h"
#include "pdf/pdftypes.h"

#include <memory>
#include <string_view>

class TPdfXObject : public TPdfStream {
public:
    using TPdfStream::TPdfStream;
};

class TPdfImage : public TPdfXObject {
public:
    using TPdfXObject::TPdfXObject;
};

/// Base of the image creators; creators are stateless.
class TPdfImageCreator {
public:
    TPdfImageCreator() = default;
    virtual ~TPdfImageCreator() = default;
    TPdfImageCreator(const TPdfImageCreator&) = delete;
    TPdfImageCreator& operator=(const TPdfImageCreator&) = delete;

    /// A new, unregistered image of \p picture.
    virtual std::unique_ptr<TPdfImage> CreateImage(const TPdfGraphic& picture) { return nullptr; }
};

/// Writes the pixels of a bitmap: 1, 4 and 8 bits per pixel as 8-bit palette indexes with an
/// `Indexed` colour space, 24 bits as RGB.
class TPdfBitmapImage : public TPdfImageCreator {
public:
    std::unique_ptr<TPdfImage> CreateImage(const TPdfGraphic& picture) override;
};

/// Makes the creator registered under \p creatorName and creates the image of \p picture.
/// An unknown name fails with std::runtime_error.
std::unique_ptr<TPdfImage> CreatePdfImage(const TPdfGraphic& picture, std::string_view creatorName);
