// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/prjpegimage.h"

bool TPRJpegImage::AcceptsPicture(const TPdfGraphic& picture) const {
    return std::holds_alternative<TPdfJpegPicture>(picture);
}

std::string TPRJpegImage::UniqueImageName(TPRCanvas& canvas, const TPdfDoc& doc) const {
    for (int draws = 0; draws < 65535; ++draws) {
        std::string name = Name() + std::to_string(canvas.Random(65535));
        if (!doc.FindXObject(name)) {
            return name;
        }
    }
    throw std::runtime_error("image count over max value..");
}
