// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

/// Base of the small modal warnings of the program: captioned "警告", no close box, fixed
/// size. Subclasses add their lines and buttons through the helpers.
class WarningDialog : public QDialog {
    Q_OBJECT
public:
    explicit WarningDialog(QWidget* parent = nullptr);

    /// Centres the dialog on its owner, or on the screen when it has none.
    void centreOnOwner();
    void centreOnScreen();

protected:
    QLabel* addLine(const QString& text);
    /// Adds \p widget as the next line.
    void addLineWidget(QWidget* widget);
    /// Adds a button that closes the dialog with \p result.
    QPushButton* addButton(const QString& text, int result, const QString& objectName);
    void finishLayout();

private:
    class QVBoxLayout* m_lines;
    class QHBoxLayout* m_buttons;
};
