// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/thumbnailbuilder.h"

#include <QCoreApplication>
#include <QThread>
#include <QtConcurrent/QtConcurrentMap>

ThumbnailBuilder::ThumbnailBuilder(QObject* parent) : QObject(parent) {
    m_pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
}

ThumbnailBuilder::~ThumbnailBuilder() {
    cancel();
}

void ThumbnailBuilder::start(const QStringList& paths, int side, bool stretch,
                             const std::optional<blankpage::Thresholds>& blankCheck) {
    cancel();
    m_waiting.clear();
    m_nextJob = 0;
    m_total = static_cast<int>(paths.size());
    m_running = true;
    if (paths.isEmpty()) {
        m_running = false;
        emit finished();
        return;
    }
    m_watcher = new QFutureWatcher<pageimages::Thumbnail>(this);
    connect(m_watcher, &QFutureWatcherBase::resultReadyAt, this,
            [this, watcher = m_watcher](int index) {
                if (watcher != m_watcher) {
                    return; // a result of an abandoned build
                }
                m_waiting.insert(index, watcher->resultAt(index));
                deliverInOrder();
            });
    m_watcher->setFuture(
        QtConcurrent::mapped(&m_pool, paths, [side, stretch, blankCheck](const QString& path) {
            return pageimages::makeThumbnail(path, side, stretch, blankCheck);
        }));
}

void ThumbnailBuilder::deliverInOrder() {
    while (m_running && m_waiting.contains(m_nextJob)) {
        const int job = m_nextJob++;
        emit thumbnailReady(job, m_waiting.take(job));
        emit progress(m_nextJob, m_total);
    }
    if (m_running && m_nextJob == m_total) {
        m_running = false;
        m_watcher->deleteLater();
        m_watcher = nullptr;
        emit finished();
    }
}

void ThumbnailBuilder::cancel() {
    if (!m_watcher) {
        m_running = false;
        return;
    }
    QFutureWatcher<pageimages::Thumbnail>* watcher = m_watcher;
    m_watcher = nullptr;
    m_running = false;
    watcher->disconnect(this);
    watcher->cancel();
    watcher->waitForFinished();
    watcher->deleteLater();
}

void ThumbnailBuilder::waitForFinished() {
    while (m_running && m_watcher) {
        m_watcher->waitForFinished();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}
