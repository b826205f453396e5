// SPDX-License-Identifier: GPL-3.0-or-later
// A libFuzzer target for one text parser, chosen at build time by PELORA_FUZZ_CHECK (one of the
// check functions of fuzztext.h). Run it on its seed folder, e.g.
// fuzz_registry fuzz/corpus/registry.

#include "fuzztext.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString problem = fuzzing::PELORA_FUZZ_CHECK(data, size);
    if (!problem.isEmpty()) {
        // The message says which invariant broke; libFuzzer then saves the input as crash-*.
        std::fprintf(stderr, "%s\n", problem.toLocal8Bit().constData());
        std::abort();
    }
    return 0;
}
