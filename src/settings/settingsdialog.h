// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QLabel;
class QStatusBar;

/// Common frame of the settings dialogs: fixed size, a one-field status bar at the bottom (where
/// the dialog has one), and centred on the window that owns it each time it is opened.
class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    /// The text of the status bar's one field.
    QString statusText() const;
    void setStatusText(const QString& text);

protected:
    SettingsDialog(QWidget* parent, Qt::WindowFlags flags);

    enum class StatusBar : bool { Hidden, Shown };
    /// Puts \p body above the status bar and fixes the dialog's size to fit them.
    void setBody(QLayout* body, StatusBar statusBar = StatusBar::Shown);
    /// Centres the dialog on its owner's window (on the screen when it has none), kept on the
    /// screen.
    void centreOnOwner();

private:
    QStatusBar* m_statusBar;
    QLabel* m_statusField;
};
