#pragma once

#include <QApplication>
#include <functional>

/// The application object. Errors that a command does not catch end at notify(): they reach
/// the general error report (a message box with the error's text) and the program goes on.
class PeloraFileApplication : public QApplication {
public:
    PeloraFileApplication(int& argc, char** argv);

    /// Receives the text of every error that reached the event loop.
    void setErrorReport(std::function<void(const QString&)> report);

    bool notify(QObject* receiver, QEvent* event) override;

private:
    std::function<void(const QString&)> m_report;
};
