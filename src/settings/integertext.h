// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Integer fields typed by the operator (serial numbers, page sizes, patient numbers).

#include <QString>
#include <optional>

/// Parses \p text as a signed decimal integer: blanks before it, an optional "+" or "-", then
/// one or more digits 0-9 and nothing after them. Returns std::nullopt for anything else and for
/// values outside the 32-bit signed range.
std::optional<int> parseSignedInteger(const QString& text);
