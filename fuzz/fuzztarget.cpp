// SPDX-License-Identifier: GPL-3.0-or-later
// A libFuzzer target for one decoder, chosen at build time by PELORA_FUZZ_FORMAT (one of the
// imaging::ImageFormat names). Run it on its seed folder, e.g. fuzz_tiff fuzz/corpus/tiff.

#include "fuzzdecode.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (!fuzzing::decodeEveryWay(imaging::ImageFormat::PELORA_FUZZ_FORMAT, data, size)) {
        std::abort();
    }
    return 0;
}
