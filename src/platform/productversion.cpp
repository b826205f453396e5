// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/productversion.h"

QString productVersion() {
    return QStringLiteral(PELORA_VERSION);
}
