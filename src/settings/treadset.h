// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The intake settings dialog "読込設定": scanner folder, file types taken in, order of folder
/// intake, default serial number, thumbnail size and stretching.

#include "settings/settingsdialog.h"

class FolderTree;
class QCheckBox;
class QLineEdit;
class QPushButton;
class RadioGroup;
class TRegistory;
class UserPrompts;

class TReadSet : public SettingsDialog {
    Q_OBJECT
public:
    explicit TReadSet(QWidget* parent = nullptr);

    struct Result {
        bool accepted = false;          ///< closed with "設定"; the settings were changed
        bool rebuildThumbnails = false; ///< ImSize or ThumbStrech changed
    };

    /// Fills the controls from \p settings, runs the dialog modally through \p prompts and, when
    /// it closes with "設定", copies the controls back into \p settings. The caller then puts
    /// VolNo into its serial box and rebuilds every thumbnail when the result asks for it.
    Result Execute(TRegistory& settings, UserPrompts& prompts);

    FolderTree* folderTree() const { return m_tree; }

public slots:
    /// "設定": closes the dialog when the serial field holds an integer from 0 to 999, else
    /// shows "*** 連番 エラー" and keeps it open.
    void onSetClicked();

private:
    void fillFrom(const TRegistory& settings);
    void copyTo(TRegistory& settings) const;
    void showChosenFolder(const QString& path);

    FolderTree* m_tree;
    QLineEdit* m_scanPathDisp;
    QCheckBox* m_jpegBox;
    QCheckBox* m_tiffBox;
    QCheckBox* m_bitmapBox;
    QCheckBox* m_pngBox;
    RadioGroup* m_order;
    QLineEdit* m_volNoEdit;
    RadioGroup* m_imSizeRadio;
    QCheckBox* m_thumbCheck;
    QPushButton* m_setButton;
    QPushButton* m_cancelButton;
};
