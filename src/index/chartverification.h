// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// Whether a chart file is still the file that was filed: its SHA-256 now against the one the
/// index stored when it was written or registered. One reading loop serves the verification of
/// a range and the existence check's content check.

#include "index/chartindex.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class BackgroundJob;

namespace chartverification {

enum class ChartState : quint8 {
    Matches,    ///< the file is there and its bytes are the ones hashed
    Missing,    ///< no file (or a folder) at the path
    Unreadable, ///< something is there but it is not a regular file, or it cannot be read
    Changed,    ///< the bytes differ from the ones hashed, or a link stands in the file's place
    NotHashed,  ///< the index holds no hash for the path
};

/// The word for \p state in reports: "ok", "missing", "unreadable", "changed", "not hashed".
QString stateName(ChartState state);

/// The state of the file at \p path against \p storedHash (empty: none stored). Only a regular
/// file is read, opened without following a link and without blocking, so a pipe or a device
/// in a chart's place is reported unreadable instead of holding the reader, and a link in its
/// place is reported changed: it is no longer the archived file, whatever it points to.
/// \p detail gets the reason of an unreadable file. \p stopRequested, looked at between pieces
/// of the file, ends the reading early (the state is then Unreadable with detail "stopped").
ChartState checkChart(const QString& path, const QByteArray& storedHash, QString* detail = nullptr,
                      const std::function<bool()>& stopRequested = {});

struct Finding {
    int pidno = 0;
    QString filePath;
    ChartState state = ChartState::Matches;
    QString detail;
};

struct Summary {
    qint64 charts = 0; ///< rows checked
    qint64 bytes = 0;  ///< bytes read
    qint64 problems = 0;
};

/// The verification of the charts of a range of patients (all rows when none is given), as
/// background jobs: one reads the rows and their stored hashes through a session of its own,
/// and \p threads jobs read the files. Findings and progress arrive on the thread that made it.
class Verification : public QObject {
    Q_OBJECT
public:
    Verification(QString programFolder, std::optional<std::pair<int, int>> range, int threads,
                 QObject* parent = nullptr);
    ~Verification() override;

    void start();
    /// Stops every job; nothing more is reported and finished() is not emitted.
    void stop();

signals:
    /// A chart that does not match its hash.
    void found(const chartverification::Finding& finding);
    /// Charts checked so far.
    void progressed(qint64 done);
    /// Every chart was checked, or reading the index failed (\p error says why).
    void finished(const chartverification::Summary& summary, const QString& error);

private:
    void jobEnded();

    QString m_programFolder;
    std::optional<std::pair<int, int>> m_range;
    int m_threads;
    struct Queue;
    std::shared_ptr<Queue> m_queue;
    std::vector<BackgroundJob*> m_jobs;
    int m_running = 0;
    Summary m_summary;
    QString m_error;
};

/// Runs a Verification to its end on the calling thread's event loop. \p report hears every
/// chart that does not match, \p progress every chart done. std::nullopt, with the reason in
/// \p error, when the rows or hashes cannot be read.
std::optional<Summary> verifyCharts(const QString& programFolder,
                                    std::optional<std::pair<int, int>> range, int threads,
                                    const std::function<void(const Finding&)>& report,
                                    const std::function<void(qint64 done)>& progress = {},
                                    QString* error = nullptr);

} // namespace chartverification
