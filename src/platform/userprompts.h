// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The one door through which the program asks the operator anything: modal windows, yes/no
/// questions, error boxes and file dialogs. The program uses WidgetPrompts; tests put a
/// recorder in its place that answers at once, so no test ever waits on a dialog.

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QDialog;
class QWidget;

/// Result of a file dialog.
struct FileChoice {
    bool accepted = false;       ///< false when the operator cancelled
    QStringList files;           ///< chosen files, in the dialog's order
    int selectedFilterIndex = 0; ///< 0-based index of the filter in use when accepted
};

class UserPrompts {
public:
    virtual ~UserPrompts() = default;

    /// Shows \p dialog modally and returns its result code.
    virtual int exec(QDialog& dialog) = 0;

    virtual QMessageBox::StandardButton question(QWidget* parent, const QString& title,
                                                 const QString& text,
                                                 QMessageBox::StandardButtons buttons) = 0;

    /// The application's general error report: the text in a message box.
    virtual void showError(QWidget* parent, const QString& text) = 0;

    /// A dialog that picks existing files. \p filter is in the "Name|*.a;*.b|Name2|*.c" form.
    virtual FileChoice openFiles(QWidget* parent, const QString& folder, const QString& filter,
                                 bool multiple) = 0;

    /// A dialog that names a file to write. \p filter as for openFiles().
    virtual FileChoice saveFile(QWidget* parent, const QString& folder, const QString& filter,
                                const QString& defaultSuffix) = 0;
};

/// The real dialogs.
class WidgetPrompts final : public UserPrompts {
public:
    int exec(QDialog& dialog) override;
    QMessageBox::StandardButton question(QWidget* parent, const QString& title, const QString& text,
                                         QMessageBox::StandardButtons buttons) override;
    void showError(QWidget* parent, const QString& text) override;
    FileChoice openFiles(QWidget* parent, const QString& folder, const QString& filter,
                         bool multiple) override;
    FileChoice saveFile(QWidget* parent, const QString& folder, const QString& filter,
                        const QString& defaultSuffix) override;
};

/// Converts a "Name|*.a;*.b|Name2|*.c" filter into Qt's "Name (*.a *.b);;Name2 (*.c)" form.
QStringList qtFileFilters(const QString& filter);
