// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The work of one fuzz input, shared by the libFuzzer targets and by the test that runs the
// seed corpus in the ordinary build.

#include "imaging/codec_p.h"

#include <cstddef>
#include <cstdint>

namespace fuzzing {

/// Decodes \p data in every way the component offers (header, full, for a size, top-left) and,
/// when it decodes, encodes it again and decodes that. Returns false when the results
/// contradict each other; crashes and leaks are left to the sanitizers.
bool decodeEveryWay(imaging::ImageFormat format, const std::uint8_t* data, std::size_t size);

} // namespace fuzzing
