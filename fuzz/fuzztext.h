// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The work of one fuzz input for the two text parsers (the registry file and the list files),
// shared by the libFuzzer targets and by the test that runs their seed corpora in the ordinary
// build.

#include <QString>

#include <cstddef>
#include <cstdint>

namespace fuzzing {

/// Parses \p data as a registry file. A rejected file must leave no keys and name its line; an
/// accepted one, once saved, must load again to the same keys and values and save to the same
/// bytes. Returns what contradicted that, or an empty string; crashes and leaks are left to the
/// sanitizers.
QString checkRegistryFile(const std::uint8_t* data, std::size_t size);

/// Parses \p data as a list file. No item may hold a line break, and the saved items must read
/// back as the same items. Returns what contradicted that, or an empty string.
QString checkListFile(const std::uint8_t* data, std::size_t size);

} // namespace fuzzing
