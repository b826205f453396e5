// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

/// The window shown at start when the chart index cannot be used: red, three lines, one
/// button; the program ends after it.
class TDBErrorMes : public QDialog {
    Q_OBJECT
public:
    explicit TDBErrorMes(QWidget* parent = nullptr);

    /// Centres the window on the screen it will appear on.
    void centreOnScreen();
};
