#include "index/chartverification.h"

#include "index/chartindex.h"
#include "platform/sha256.h"

#include <QFileInfo>
#include <QFuture>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <deque>

namespace chartverification {

QString stateName(ChartState state) {
    switch (state) {
    case ChartState::Matches:
        return QStringLiteral("ok");
    case ChartState::Missing:
        return QStringLiteral("missing");
    case ChartState::Unreadable:
        return QStringLiteral("unreadable");
    case ChartState::Changed:
        return QStringLiteral("changed");
    case ChartState::NotHashed:
        break;
    }
    return QStringLiteral("not hashed");
}

ChartState checkChart(const QString& path, const QByteArray& storedHash, QString* detail) {
    const QFileInfo file(path);
    if (!file.exists() || file.isDir()) {
        return ChartState::Missing;
    }
    QString why;
    const std::optional<QByteArray> now = Sha256::ofFile(path, &why);
    if (!now) {
        if (detail) {
            *detail = why;
        }
        return ChartState::Unreadable;
    }
    if (storedHash.isEmpty()) {
        return ChartState::NotHashed;
    }
    return *now == storedHash ? ChartState::Matches : ChartState::Changed;
}

std::optional<Summary> verifyCharts(ChartIndex& index, std::optional<std::pair<int, int>> range,
                                    int threads, const std::function<void(const Finding&)>& report,
                                    const std::function<void(qint64 done)>& progress) {
    QThreadPool pool;
    pool.setMaxThreadCount(std::max(1, threads));
    // A few files per thread in flight keeps every thread reading without holding the rows of
    // a whole archive in memory.
    const size_t inFlight = size_t(std::max(1, threads)) * 4;
    struct Pending {
        Finding finding;
        qint64 size = 0;
        QFuture<ChartState> state;
        QString detail;
    };
    std::deque<std::unique_ptr<Pending>> pending;
    Summary summary;
    auto settle = [&](Pending& done) {
        done.finding.state = done.state.result();
        done.finding.detail = done.detail;
        ++summary.charts;
        if (done.finding.state != ChartState::Missing) {
            summary.bytes += done.size;
        }
        if (done.finding.state != ChartState::Matches) {
            ++summary.problems;
            report(done.finding);
        }
        if (progress) {
            progress(summary.charts);
        }
    };
    IndexCursor rows = range ? index.patientRange(range->first, range->second) : index.allRows();
    while (const auto row = rows.next()) {
        const std::optional<QByteArray> stored = index.storedHash(row->filePath);
        if (!stored) {
            return std::nullopt;
        }
        auto job = std::make_unique<Pending>();
        job->finding.pidno = row->pidno;
        job->finding.filePath = row->filePath;
        job->size = QFileInfo(row->filePath).size();
        Pending* target = job.get();
        job->state = QtConcurrent::run(&pool, [target, hash = *stored] {
            const ChartState state = checkChart(target->finding.filePath, hash, &target->detail);
            Sha256::releaseThreadState();
            return state;
        });
        pending.push_back(std::move(job));
        while (pending.size() >= inFlight) {
            settle(*pending.front());
            pending.pop_front();
        }
    }
    while (!pending.empty()) {
        settle(*pending.front());
        pending.pop_front();
    }
    if (rows.failed()) {
        return std::nullopt;
    }
    return summary;
}

} // namespace chartverification
