// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Keywords travel into one line of the creation log and one field of the index row, so they
/// never carry a control character.

#include <QString>

/// \p text with every control character (line feed, carriage return, tab, escape, ...) replaced
/// by one blank.
QString blankControlCharacters(QString text);
