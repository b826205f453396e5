// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/userprompts.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>

int WidgetPrompts::exec(QDialog& dialog) {
    return dialog.exec();
}

QMessageBox::StandardButton WidgetPrompts::question(QWidget* parent, const QString& title,
                                                    const QString& text,
                                                    QMessageBox::StandardButtons buttons) {
    return QMessageBox::question(parent, title, text, buttons);
}

void WidgetPrompts::showError(QWidget* parent, const QString& text) {
    QMessageBox::critical(parent, QApplication::applicationName(), text);
}

namespace {

FileChoice runFileDialog(QFileDialog& dialog, const QStringList& filters) {
    dialog.setNameFilters(filters);
    dialog.setOption(QFileDialog::ReadOnly, false);
    FileChoice choice;
    if (dialog.exec() != QDialog::Accepted) {
        return choice;
    }
    choice.accepted = true;
    choice.files = dialog.selectedFiles();
    choice.selectedFilterIndex =
        std::max<int>(0, static_cast<int>(filters.indexOf(dialog.selectedNameFilter())));
    return choice;
}

} // namespace

FileChoice WidgetPrompts::openFiles(QWidget* parent, const QString& folder, const QString& filter,
                                    bool multiple) {
    QFileDialog dialog(parent, QString(), folder);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(multiple ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    return runFileDialog(dialog, qtFileFilters(filter));
}

FileChoice WidgetPrompts::saveFile(QWidget* parent, const QString& folder, const QString& filter,
                                   const QString& defaultSuffix) {
    QFileDialog dialog(parent, QString(), folder);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    QString suffix = defaultSuffix;
    if (suffix.startsWith(u'.')) {
        suffix.remove(0, 1);
    }
    dialog.setDefaultSuffix(suffix);
    return runFileDialog(dialog, qtFileFilters(filter));
}

QStringList qtFileFilters(const QString& filter) {
    QStringList result;
    const auto parts = filter.split(u'|');
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList masks = parts.at(i + 1).split(u';', Qt::SkipEmptyParts);
        result.append(QStringLiteral("%1 (%2)").arg(parts.at(i), masks.join(u' ')));
    }
    return result;
}
