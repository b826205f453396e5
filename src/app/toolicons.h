// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

/// The 32 × 32 icons of the tool bar, drawn in code so the program carries no image files.
namespace toolicons {
QIcon scanner();
QIcon folder();
QIcon log();
} // namespace toolicons
