// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>

/// The font of every window: "ＭＳ Ｐゴシック" at 12 pixels where it is installed, else a Japanese
/// face that is (IPA or Noto CJK), so the Japanese texts always render.
QFont uiFont();
