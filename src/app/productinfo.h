// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/productversion.h"

#include <QString>

/// Names and addresses of the product, used for captions and the help commands.
namespace product {
inline const QString name = QStringLiteral("Tovani PeloraFile Basic");
inline const QString version = productVersion();
inline const QString helpFileName = QStringLiteral("PeloraFileBasic.chm");
inline const QString supportUrl = QStringLiteral("https://www.tovani.co.jp/support/");
} // namespace product
