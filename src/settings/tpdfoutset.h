// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The save settings dialog "PDF書込設定": archive base folder, folder level prefixes and
/// suffixes, institution code, overwrite and date rules, clearing of the scanner folder, and the
/// PDF page size, image quality, stretching and first-page rule.

#include "settings/settingsdialog.h"

#include <array>

class ClampSpinBox;
class FolderTree;
class MouseCheckBox;
class QCheckBox;
class QLineEdit;
class QPushButton;
class TDeleteWarningForm;
class TRegistory;
class UserPrompts;

class TPdfOutSet : public SettingsDialog {
    Q_OBJECT
public:
    /// \p deleteWarning is the program's deletion warning; when null the dialog makes its own.
    explicit TPdfOutSet(QWidget* parent = nullptr, TDeleteWarningForm* deleteWarning = nullptr);

    /// Fills the controls from \p settings, runs the dialog modally through \p prompts and, when
    /// it closes with "設定", copies every control back into \p settings and returns true. The
    /// new values take effect at the next save; the caller has nothing more to do.
    bool Execute(TRegistory& settings, UserPrompts& prompts);

    FolderTree* folderTree() const { return m_tree; }

public slots:
    /// "設定": validates in order (base folder, the four levels, height, width, the size of
    /// each), shows the first failure in the status bar, puts the focus on the box at fault and
    /// keeps the dialog open, else closes it. A level prefix or suffix that would name a folder
    /// of its own ("/", "." or "..") is also explained in a message box.
    void onSetClicked();
    /// "規定値": height 1000 and width 700 into the page size fields.
    void onDefaultsClicked();

private:
    void fillFrom(const TRegistory& settings);
    void copyTo(TRegistory& settings) const;
    void showChosenFolder(const QString& path);
    void confirmScannerClearing();

    /// The length and plainness of level \p level's prefix and suffix (0 to 3).
    bool checkLevel(int level);
    /// The height or width \p side typed into \p edit against the smallest and largest page.
    bool checkPageSide(QLineEdit* edit, int side);
    /// Keeps the dialog open on a failure: \p status in the status bar, \p message (when not
    /// empty) in a message box, and the focus on \p box.
    void refuse(QWidget* box, const QString& status, const QString& message = {});

    FolderTree* m_tree;
    QLineEdit* m_pathDisp;
    std::array<QLineEdit*, 4> m_front{};
    std::array<QLineEdit*, 4> m_back{};
    QCheckBox* m_firstPageCheck;
    MouseCheckBox* m_scanClrCheck;
    QLineEdit* m_hpCodeEdit;
    QCheckBox* m_writeProtectChk;
    QCheckBox* m_writeDateChk;
    QCheckBox* m_stretchCheck;
    ClampSpinBox* m_qualitySpin;
    QLineEdit* m_heightEdit; // Edit1
    QLineEdit* m_widthEdit;  // Edit2
    QPushButton* m_defaultsButton;
    QPushButton* m_setButton;
    QPushButton* m_cancelButton;
    TDeleteWarningForm* m_deleteWarning;

    // The page size as last accepted by "設定"; filled from the settings at each opening.
    int m_pageHeight = 0;
    int m_pageWidth = 0;

    // Valid while Execute() runs: the scanner folder shown by the deletion warning.
    const TRegistory* m_settings = nullptr;
    UserPrompts* m_prompts = nullptr;
};
