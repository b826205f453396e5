// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/uifont.h"

#include <QStringList>

QFont uiFont() {
    QFont font;
    font.setFamilies({QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("MS PGothic"),
                      QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                      QStringLiteral("Noto Sans CJK JP")});
    font.setPixelSize(12);
    return font;
}
