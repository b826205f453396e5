// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The text properties of the page editor: face, size and style of the stamp font from the
/// font dialog, and the colour the stamp is written in.

#include "editor/drawingengine.h"

#include <QDialog>

class QFontDialog;
class QPushButton;
class UserPrompts;

/// Opens on the stamp font as it is drawn (the face that stands in for a face that is not
/// installed, its style and its size) and gives back the font as chosen. A size is shown in
/// points and kept in pixels, at 96 pixels to the inch. Closed with OK and nothing changed, it
/// gives back the very font it was opened on.
class StampFontDialog : public QDialog {
    Q_OBJECT
public:
    StampFontDialog(const TextFont& font, UserPrompts& prompts, QWidget* parent = nullptr);

    TextFont chosenFont() const;
    QFontDialog* fontChooser() const { return m_chooser; }
    QPushButton* colourButton() const { return m_colourButton; }

private:
    void chooseColour();
    void showColour();

    UserPrompts& m_prompts;
    TextFont m_opened;
    QFont m_shown; ///< the font as the chooser showed it at the start
    QColor m_colour;
    QFontDialog* m_chooser;
    QPushButton* m_colourButton;
};
