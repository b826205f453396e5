// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The setup dialog "初期設定" of a first start, shown before the main window when there is no
/// settings file yet: the scanner folder, the archive base folder, the medical institution code
/// and the first-page rule, written to the settings file as soon as it is accepted.

#include "settings/settingsdialog.h"

#include <optional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class SettingsFile;
class TRegistory;
class UserPrompts;

class FirstStartDialog : public SettingsDialog {
    Q_OBJECT
public:
    explicit FirstStartDialog(QWidget* parent = nullptr);

    /// Fills the fields from \p settings (a folder the defaults set to the home folder gets a
    /// folder below it as its proposal) and runs the dialog modally through \p prompts. "設定"
    /// checks the fields, makes both folders when missing and writes the settings into \p file;
    /// only then does the dialog close, \p settings holding what was written, and true is
    /// returned. False when it was cancelled: nothing was written.
    bool Execute(TRegistory& settings, SettingsFile& file, UserPrompts& prompts);

    static const QString HomeFolderRefusedText;
    static const QString SameFolderRefusedText;

public slots:
    /// "設定": refuses an empty or relative folder, the home folder itself or the root, one
    /// folder inside the other, and an institution code holding "/", in the status bar with the
    /// focus on the field at fault; then makes the folders and writes the settings.
    void onSetClicked();

private:
    bool refuse(QLineEdit* field, const QString& text);
    /// The folder typed into \p field, or nothing (with the field refused) when it is unusable.
    std::optional<QString> checkedFolder(QLineEdit* field);

    QLineEdit* m_scannerDir;
    QLineEdit* m_target;
    QLineEdit* m_hpCode;
    QCheckBox* m_firstPage;
    QPushButton* m_setButton;
    QPushButton* m_cancelButton;

    // Valid while Execute() runs.
    TRegistory* m_settings = nullptr;
    SettingsFile* m_file = nullptr;
};
