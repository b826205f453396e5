// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/urlopener.h"

#include <QDesktopServices>

bool DesktopUrlOpener::open(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}
