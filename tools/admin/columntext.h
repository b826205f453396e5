// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Fields of the tab-separated lines the admin commands print.

#include <QString>

/// \p text as one column: tabs, line breaks and backslashes are escaped, so that every row stays
/// one line whatever its keywords hold.
inline QString columnText(QString text) {
    text.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    text.replace(QLatin1Char('\t'), QLatin1String("\\t"));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    text.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    return text;
}
