// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/maintenance/statuspanels.h"

#include <QLabel>
#include <QProgressBar>

StatusPanels::StatusPanels(QWidget* parent)
    : QStatusBar(parent), m_count(new QLabel(this)), m_message(new QLabel(this)),
      m_progress(new QProgressBar(this)) {
    setSizeGripEnabled(false);
    m_count->setObjectName(QStringLiteral("CountPanel"));
    m_message->setObjectName(QStringLiteral("MessagePanel"));
    m_count->setMinimumWidth(80);
    addWidget(m_count);
    addWidget(m_message, 1);
    m_progress->setObjectName(QStringLiteral("Progress"));
    m_progress->setMaximumWidth(200);
    m_progress->setTextVisible(false);
    addPermanentWidget(m_progress);
    m_progress->hide();
}

QString StatusPanels::text(Panel panel) const {
    return panel == Panel::Count ? m_count->text() : m_message->text();
}

void StatusPanels::setText(Panel panel, const QString& text) {
    (panel == Panel::Count ? m_count : m_message)->setText(text);
}

void StatusPanels::clearBoth() {
    m_count->clear();
    m_message->clear();
}

void StatusPanels::showProgress(qint64 done, qint64 total) {
    // QProgressBar counts in int: large totals are scaled to thousandths.
    if (total <= 0) {
        m_progress->setRange(0, 0);
    } else {
        m_progress->setRange(0, 1000);
        m_progress->setValue(int(std::min<qint64>(1000, done * 1000 / total)));
    }
    m_progress->show();
}

void StatusPanels::hideProgress() {
    m_progress->hide();
}
