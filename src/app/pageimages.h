// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The page images as the page list shows them: thumbnails and the patient check previews.
/// Both decode only as much of the file as they show, and may run on any thread.

#include "analysis/blankpage.h"

#include <QImage>
#include <QSize>
#include <QString>
#include <optional>

class BlankPageSettings;

namespace pageimages {

/// The blank-page check the settings ask for; none when it is switched off.
std::optional<blankpage::Thresholds> blankCheck(const BlankPageSettings& settings);

struct Thumbnail {
    bool failed = true; ///< the image could not be loaded: the page gets no thumbnail
    QImage image;       ///< side × side, white around the page
    /// Whether the page is blank, when that was asked and the image decoded.
    std::optional<blankpage::Verdict> blank;
};

/// The square thumbnail of \p path: the image stretched over the whole square when \p stretch,
/// else placed by the thumbnail rule. A file that cannot be opened or decoded gives `failed`.
/// With \p blankCheck the same decode also decides whether the page is blank; it is then made
/// at least blankpage::WorkingDpi.
Thumbnail makeThumbnail(const QString& path, int side, bool stretch,
                        const std::optional<blankpage::Thresholds>& blankCheck = std::nullopt);

/// Whether the page in \p path is blank, decided on the decode intake makes with the check (the
/// batch save's way to the same decision); none when it cannot be opened or decoded.
std::optional<blankpage::Verdict> blankVerdict(const QString& path,
                                               const blankpage::Thresholds& thresholds);

/// The placeholder shown for a page whose image could not be loaded.
QImage brokenPageIcon(int side);

/// The placeholder shown while a page's thumbnail is still being made.
QImage pendingPageIcon(int side);

} // namespace pageimages
