// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Dialog and opener stand-ins for widget tests: every modal window, question and file dialog
/// is answered at once from a queue the test fills, and recorded for the test to inspect.

#include "platform/urlopener.h"
#include "platform/userprompts.h"

#include <QAbstractButton>
#include <QDialog>
#include <QList>
#include <QMessageBox>
#include <QQueue>
#include <QTest>
#include <QUrl>
#include <functional>

class FakePrompts final : public UserPrompts {
public:
    /// What an exec() of a modal window does: the default rejects it.
    using DialogAnswer = std::function<int(QDialog&)>;

    QStringList shownDialogs; ///< object names of the windows shown modally, in order
    QStringList questions;    ///< texts of the questions asked
    QStringList errors;       ///< texts of the general error reports
    QQueue<DialogAnswer> dialogAnswers;
    QQueue<QMessageBox::StandardButton> questionAnswers;
    QQueue<FileChoice> fileChoices;
    struct FileDialogCall {
        QString folder;
        QString filter;
        QString defaultSuffix;
    };
    QList<FileDialogCall> fileDialogs;

    int exec(QDialog& dialog) override {
        shownDialogs << dialog.objectName();
        if (dialogAnswers.isEmpty()) {
            return QDialog::Rejected;
        }
        return dialogAnswers.dequeue()(dialog);
    }
    QMessageBox::StandardButton question(QWidget*, const QString&, const QString& text,
                                         QMessageBox::StandardButtons) override {
        questions << text;
        return questionAnswers.isEmpty() ? QMessageBox::No : questionAnswers.dequeue();
    }
    void showError(QWidget*, const QString& text) override { errors << text; }
    FileChoice openFiles(QWidget*, const QString& folder, const QString& filter, bool) override {
        fileDialogs << FileDialogCall{folder, filter, {}};
        return fileChoices.isEmpty() ? FileChoice{} : fileChoices.dequeue();
    }
    FileChoice saveFile(QWidget*, const QString& folder, const QString& filter,
                        const QString& defaultSuffix) override {
        fileDialogs << FileDialogCall{folder, filter, defaultSuffix};
        return fileChoices.isEmpty() ? FileChoice{} : fileChoices.dequeue();
    }

    /// Answers the next modal window with \p code.
    void answerNextDialog(int code) {
        dialogAnswers.enqueue([code](QDialog&) { return code; });
    }

    /// An answer that shows a message box and clicks its button labelled \p button, as the
    /// operator does; the box's text goes to \p asked. Anything else is rejected.
    static DialogAnswer clickInMessageBox(const QString& button, QString* asked = nullptr) {
        return [button, asked](QDialog& dialog) {
            auto* box = qobject_cast<QMessageBox*>(&dialog);
            if (!box) {
                return int(QDialog::Rejected);
            }
            if (asked) {
                *asked = box->text();
            }
            box->show();
            for (QAbstractButton* candidate : box->buttons()) {
                if (candidate->text() == button) {
                    QTest::mouseClick(candidate, Qt::LeftButton);
                    break;
                }
            }
            return box->result();
        };
    }
};

class FakeUrlOpener final : public UrlOpener {
public:
    QList<QUrl> opened;
    bool open(const QUrl& url) override {
        opened << url;
        return true;
    }
};
