// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/keywordtext.h"

QString blankControlCharacters(QString text) {
    for (QChar& c : text) {
        if (c.category() == QChar::Other_Control) {
            c = QLatin1Char(' ');
        }
    }
    return text;
}
