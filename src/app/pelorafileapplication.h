// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QApplication>
#include <QTranslator>
#include <functional>

/// The application object. Errors that a command does not catch end at notify(): they reach
/// the general error report (a message box with the error's text) and the program goes on.
/// Qt's own texts (file dialogs, message box buttons) are in Japanese, as the program's are.
class PeloraFileApplication : public QApplication {
public:
    PeloraFileApplication(int& argc, char** argv);

    /// Whether Qt's Japanese translation was found and installed.
    bool hasQtTranslation() const { return m_qtTranslation != nullptr; }

    /// Receives the text of every error that reached the event loop.
    void setErrorReport(std::function<void(const QString&)> report);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    std::function<void(const QString&)> m_report;
    QTranslator* m_qtTranslation = nullptr;
};
