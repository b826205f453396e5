// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/stampfontdialog.h"

#include "platform/userprompts.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QFontInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace {

/// Screen pixels per point at the 96 pixels to the inch that stamp sizes are counted in.
constexpr double PixelsPerPoint = 96.0 / 72.0;

/// The font as it is drawn: the face that is used for it (a stand-in when its own face is
/// missing), its style, and its pixel height in points.
QFont asDrawn(const QFont& font) {
    const QFontInfo drawn(font);
    QFont shown(drawn.family());
    shown.setWeight(QFont::Weight(drawn.weight()));
    shown.setItalic(drawn.italic());
    shown.setUnderline(font.underline());
    shown.setStrikeOut(font.strikeOut());
    const int pixels = font.pixelSize() > 0 ? font.pixelSize() : drawn.pixelSize();
    shown.setPointSizeF(std::max(1.0, pixels / PixelsPerPoint));
    return shown;
}

/// A chosen font held at a height in pixels, which is what a stamp is measured in.
QFont inPixels(QFont font) {
    if (font.pixelSize() <= 0) {
        font.setPixelSize(
            std::max(1, static_cast<int>(std::lround(font.pointSizeF() * PixelsPerPoint))));
    }
    return font;
}

} // namespace

StampFontDialog::StampFontDialog(const TextFont& font, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent), m_prompts(prompts), m_opened(font), m_colour(font.colour) {
    setObjectName(QStringLiteral("FontDialog1"));
    setWindowTitle(QStringLiteral("文字のプロパティ"));

    m_chooser = new QFontDialog(this);
    m_chooser->setObjectName(QStringLiteral("FontChooser"));
    m_chooser->setWindowFlags(Qt::Widget);
    m_chooser->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    m_chooser->setCurrentFont(asDrawn(font.font));
    m_shown = m_chooser->currentFont();
    // Escape or Enter in one of the chooser's lists ends the chooser as a dialog of its own;
    // they are meant for this dialog.
    connect(m_chooser, &QDialog::rejected, this, &QDialog::reject);
    connect(m_chooser, &QDialog::accepted, this, &QDialog::accept);

    auto* colourLabel = new QLabel(QStringLiteral("色"));
    m_colourButton = new QPushButton;
    m_colourButton->setObjectName(QStringLiteral("FontColorBtn"));
    m_colourButton->setToolTip(QStringLiteral("文字の色"));
    m_colourButton->setIconSize(QSize(40, 16));
    colourLabel->setBuddy(m_colourButton);
    showColour();
    connect(m_colourButton, &QPushButton::clicked, this, &StampFontDialog::chooseColour);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->setObjectName(QStringLiteral("Buttons"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* colourRow = new QHBoxLayout;
    colourRow->addWidget(colourLabel);
    colourRow->addWidget(m_colourButton);
    colourRow->addStretch(1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_chooser, 1);
    layout->addLayout(colourRow);
    layout->addWidget(buttons);
}

TextFont StampFontDialog::chosenFont() const {
    const QFont chosen = m_chooser->currentFont();
    // Unchanged, the font keeps its own face list and pixel size rather than the stand-in.
    return TextFont{chosen == m_shown ? m_opened.font : inPixels(chosen), m_colour};
}

void StampFontDialog::chooseColour() {
    QColorDialog dialog(m_colour, this);
    dialog.setObjectName(QStringLiteral("FontColorDialog"));
    if (m_prompts.exec(dialog) == QDialog::Accepted) {
        m_colour = dialog.currentColor();
        showColour();
    }
}

void StampFontDialog::showColour() {
    QPixmap swatch(m_colourButton->iconSize());
    swatch.fill(m_colour);
    m_colourButton->setIcon(QIcon(swatch));
}
