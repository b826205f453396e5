// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "pdf/pdfimages.h"

/// Embeds a JPEG picture unchanged as a `DCTDecode` image in `DeviceRGB`.
class TPdfJpegImage : public TPdfImageCreator {
public:
    std::unique_ptr<TPdfImage> CreateImage(const TPdfGraphic& picture) override;
};
