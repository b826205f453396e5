// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The chart lookup by patient number: the number's patient folder in the archive, shown in the
/// chart list window. It reads the archive folders alone, not the chart index.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class TRegistory;
class TView;
class UserPrompts;

class TPdfViewerForm : public QDialog {
    Q_OBJECT
public:
    /// \p settings give the archive layout at the time of each lookup; \p view is the chart
    /// list window, shown modally through \p prompts.
    TPdfViewerForm(const TRegistory& settings, TView& view, UserPrompts& prompts,
                   QWidget* parent = nullptr);

    QLineEdit* pidNo() const { return m_pidNo; }
    QPushButton* lookupButton() const { return m_lookup; }
    QString errorText() const;

    /// The patient number of \p text, or 0 when it is not one of 1..99999999.
    static int patientNumber(const QString& text);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void lookUp();

    const TRegistory& m_settings;
    TView& m_view;
    UserPrompts& m_prompts;
    QLineEdit* m_pidNo = nullptr;
    QPushButton* m_lookup = nullptr;
    QLabel* m_errorDisp = nullptr;
};
