// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFutureWatcher>
#include <QImage>
#include <QMap>
#include <QObject>
#include <QStringList>
#include <QThreadPool>

#include "app/pageimages.h"

/// Makes thumbnails on worker threads and hands them back on the GUI thread in the order they
/// were asked for, each as soon as it and all before it are done, so pages fill in from the top
/// while the window keeps answering.
class ThumbnailBuilder : public QObject {
    Q_OBJECT
public:
    explicit ThumbnailBuilder(QObject* parent = nullptr);
    ~ThumbnailBuilder() override;

    /// Starts making thumbnails of \p paths, each with the blank-page check when
    /// \p blankCheck is given. A build still running is abandoned first: none of its results
    /// arrive any more.
    void start(const QStringList& paths, int side, bool stretch,
               const std::optional<blankpage::Thresholds>& blankCheck = std::nullopt);
    /// Abandons the running build.
    void cancel();
    bool isRunning() const { return m_running; }
    /// Blocks until the running build has delivered everything (for tests and the batch save).
    void waitForFinished();

signals:
    /// Thumbnail \p job of the last start(), in job order.
    void thumbnailReady(int job, const pageimages::Thumbnail& thumbnail);
    void progress(int done, int total);
    void finished();

private:
    void deliverInOrder();

    // Thumbnails have threads of their own: Qt's painting borrows the global pool's threads,
    // and a window that waited for those behind a hundred decodes would freeze.
    QThreadPool m_pool;
    QFutureWatcher<pageimages::Thumbnail>* m_watcher = nullptr;
    QMap<int, pageimages::Thumbnail> m_waiting; // finished out of order, not yet delivered
    int m_nextJob = 0;
    int m_total = 0;
    bool m_running = false;
};
