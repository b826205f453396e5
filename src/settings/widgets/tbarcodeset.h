// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The dialog "バーコード設定": whether the patient number is read from the label's barcode,
/// which symbologies are looked for, and the pattern that takes the number out of the text.

#include "settings/settingsdialog.h"

#include <QList>

class BarcodeSettings;
class QCheckBox;
class QLineEdit;
class QPushButton;
class UserPrompts;

class TBarcodeSet : public SettingsDialog {
    Q_OBJECT
public:
    explicit TBarcodeSet(QWidget* parent = nullptr);

    /// Fills the controls from \p settings, runs the dialog modally through \p prompts and, when
    /// it closes with "設定", copies the controls back into \p settings and returns true.
    bool Execute(BarcodeSettings& settings, UserPrompts& prompts);

    /// Why \p pattern cannot take a patient number out of a barcode's text (not a regular
    /// expression, or not exactly one capture group), or an empty text.
    static QString patternProblem(const QString& pattern);

    static const QString PatternRefusedText;
    static const QString NoSymbologyText;

public slots:
    /// "設定": refuses a pattern that is not usable, and no symbology while reading is on, in
    /// the status bar with the focus on the box at fault; else closes the dialog.
    void onSetClicked();
    /// "規定値": the default pattern and every symbology.
    void onDefaultsClicked();

private:
    void fillFrom(const BarcodeSettings& settings);
    void copyTo(BarcodeSettings& settings) const;

    QCheckBox* m_enabled;
    QList<QCheckBox*> m_symbologies;
    QLineEdit* m_pattern;
    QPushButton* m_set;
    QPushButton* m_defaults;
    QPushButton* m_cancel;
};
