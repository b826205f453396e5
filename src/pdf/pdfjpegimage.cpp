// SPDX-License-Identifier: GPL-3.0-or-later
#include "pdf/pdfjpegimage.h"

#include <string>

namespace {

struct TJpegFrame {
    int precision = 0;
    int width = 0;
    int height = 0;
    int components = 0;
};

/// The frame header of a JPEG file: the first SOFn segment after the SOI marker. False when the
/// bytes do not start a JPEG file or end before a frame header.
bool ReadJpegFrame(const std::vector<unsigned char>& bytes, TJpegFrame& frame) {
    const std::size_t size = bytes.size();
    if (size < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) {
        return false;
    }
    std::size_t pos = 2;
    while (pos + 4 <= size) {
        if (bytes[pos] != 0xFF) {
            return false;
        }
        const unsigned char marker = bytes[pos + 1];
        if (marker == 0xFF) { // fill byte
            ++pos;
            continue;
        }
        if (marker == 0xD8 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            pos += 2; // markers without a length
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) {
            return false; // end of image or start of scan before any frame header
        }
        const std::size_t length = (std::size_t{bytes[pos + 2]} << 8) | bytes[pos + 3];
        if (length < 2 || pos + 2 + length > size) {
            return false;
        }
        const bool isFrame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (isFrame) {
            if (length < 8) {
                return false;
            }
            const unsigned char* segment = bytes.data() + pos + 4;
            frame.precision = segment[0];
            frame.height = (segment[1] << 8) | segment[2];
            frame.width = (segment[3] << 8) | segment[4];
            frame.components = segment[5];
            return true;
        }
        pos += 2 + length;
    }
    return false;
}

} // namespace

std::unique_ptr<TPdfImage> TPdfJpegImage::CreateImage(const TPdfGraphic& picture) {
    const auto* jpeg = std::get_if<TPdfJpegPicture>(&picture);
    if (!jpeg) {
        throw EPdfInvalidValue("only jpeg image is allowed.");
    }
    // The bytes go into the file unchanged, described by the picture's size as 8-bit RGB: a
    // mismatch would leave a page that no reader can show, so it is refused here.
    TJpegFrame frame;
    if (!ReadJpegFrame(jpeg->bytes, frame)) {
        throw EPdfInvalidImageFormat("the picture's data is not a JPEG file.");
    }
    if (frame.precision != 8 || frame.components != 3 || frame.width != jpeg->width ||
        frame.height != jpeg->height) {
        throw EPdfInvalidImageFormat(
            "the JPEG frame (" + std::to_string(frame.width) + "x" + std::to_string(frame.height) +
            ", " + std::to_string(frame.components) + " components of " +
            std::to_string(frame.precision) + " bits) is not the picture's 8-bit RGB " +
            std::to_string(jpeg->width) + "x" + std::to_string(jpeg->height) + ".");
    }

    auto image = std::make_unique<TPdfImage>();
    image->Data().assign(jpeg->bytes.begin(), jpeg->bytes.end());
    TPdfDictionary& attributes = image->Attributes();
    attributes.Put("Type", std::make_unique<TPdfName>("XObject"));
    attributes.Put("Subtype", std::make_unique<TPdfName>("Image"));
    attributes.Put("ColorSpace", std::make_unique<TPdfName>("DeviceRGB"));
    attributes.Put("Width", std::make_unique<TPdfNumber>(jpeg->width));
    attributes.Put("Height", std::make_unique<TPdfNumber>(jpeg->height));
    attributes.Put("BitsPerComponent", std::make_unique<TPdfNumber>(8));
    attributes.LookupArray("Filter")->Append(std::make_unique<TPdfName>("DCTDecode"));
    return image;
}
