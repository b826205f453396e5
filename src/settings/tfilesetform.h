// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The search-key label dialog "検索キーラベル設定": the captions of the four keywords.

#include "settings/settingsdialog.h"

#include <array>

class QLineEdit;
class QPushButton;
class TRegistory;
class UserPrompts;

class TFileSetForm : public SettingsDialog {
    Q_OBJECT
public:
    static constexpr int labelBytes = 12; ///< CP932 bytes kept of each caption

    explicit TFileSetForm(QWidget* parent = nullptr);

    /// Fills the four fields from KeyLabel1..KeyLabel4 and runs the dialog modally through
    /// \p prompts. However it closed, each KeyLabel n becomes the first 12 CP932 bytes of field
    /// n, cut on a character boundary. The caller then shows the four settings on its keyword
    /// labels.
    void Execute(TRegistory& settings, UserPrompts& prompts);

private:
    std::array<QLineEdit*, 4> m_edits{};
    QPushButton* m_setButton;
};
