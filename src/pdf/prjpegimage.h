// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pdf/preport.h"

/// An image item holding a JPEG picture, embedded unchanged with the "Pdf-Jpeg" creator.
/// Unshared images get the item's name followed by a random number from 0 to 65534.
class TPRJpegImage : public TPRImage {
public:
    explicit TPRJpegImage(std::string name = {}) : TPRImage(std::move(name)) {}
    const char* ClassName() const override { return "TPRJpegImage"; }

protected:
    bool AcceptsPicture(const TPdfGraphic& picture) const override;
    const char* PictureRefusal() const override { return "only jpeg image is allowed."; }
    const char* CreatorName() const override { return "Pdf-Jpeg"; }
    std::string UniqueImageName(TPRCanvas& canvas, const TPdfDoc& doc) const override;
};
