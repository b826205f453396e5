// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The colours a page file can hold. The editor draws on a 32-bit copy of the page, but a page
/// is written back in the pixel format it was read in: a one-bit page keeps two colours, a
/// grey page greys, a page with a colour table the colours of that table. Whatever is drawn is
/// held to those colours at once, so the page on the screen is the page the save writes.

#include <QColor>
#include <QHash>
#include <QImage>
#include <QList>
#include <QRect>

class PageColours {
public:
    /// Every colour: a page in a full-colour format.
    PageColours() = default;
    /// The colours of \p page as its pixel format and colour table allow.
    explicit PageColours(const QImage& page);

    /// True when the page holds any colour, so nothing needs holding.
    bool holdsEveryColour() const { return m_kind == Kind::EveryColour; }

    /// \p bitmap (32-bit) in the page's own pixel format, as it is written to the page file.
    /// A colour the format cannot hold becomes its nearest colour of the table, or its grey.
    QImage inPageFormat(const QImage& bitmap) const;

    /// The colour that \p colour is written as.
    QColor nearest(const QColor& colour) const;

    /// Turns every pixel of \p area of the 32-bit \p bitmap into the colour it is written as.
    /// With \p before (the bitmap as it was, same size and format), only the pixels that differ
    /// from it are looked at: the rest already held to the page's colours.
    void holdTo(QImage& bitmap, const QRect& area, const QImage* before = nullptr) const;

private:
    enum class Kind : quint8 {
        EveryColour,
        Grey,       ///< written as 8-bit grey
        Table,      ///< written with the page's colour table, one or eight bits a pixel
        BlackWhite, ///< one bit a pixel without a table: black and white
    };

    QRgb written(QRgb colour) const;

    Kind m_kind = Kind::EveryColour;
    QImage::Format m_format = QImage::Format_RGB888;
    QList<QRgb> m_table;
    mutable QHash<QRgb, QRgb> m_written; ///< colours already worked out
};
