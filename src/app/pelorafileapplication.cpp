// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pelorafileapplication.h"

#include <QLibraryInfo>
#include <exception>

PeloraFileApplication::PeloraFileApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Japanese whatever the desktop's language: every text of the program is Japanese too.
    auto* translation = new QTranslator(this);
    if (translation->load(QStringLiteral("qtbase_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        installTranslator(translation);
        m_qtTranslation = translation;
    } else {
        delete translation;
        qWarning("Qt's Japanese translation (qtbase_ja.qm) was not found");
    }
}

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
