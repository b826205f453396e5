#include "app/pelorafileapplication.h"

#include <exception>

PeloraFileApplication::PeloraFileApplication(int& argc, char** argv) : QApplication(argc, argv) {}

void PeloraFileApplication::setErrorReport(std::function<void(const QString&)> report) {
    m_report = std::move(report);
}

bool PeloraFileApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& error) {
        if (m_report) {
            m_report(QString::fromUtf8(error.what()));
        }
    } catch (...) {
        if (m_report) {
            m_report(QStringLiteral("An unknown error occurred."));
        }
    }
    return false;
}
