#pragma once

/// \file
/// Whether a chart file is still the file that was filed: its SHA-256 now against the one the
/// index stored when it was written or registered.

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

class ChartIndex;

namespace chartverification {

enum class ChartState : quint8 {
    Matches,    ///< the file is there and its bytes are the ones hashed
    Missing,    ///< no file (or a folder) at the path
    Unreadable, ///< the file is there but cannot be read to its end
    Changed,    ///< the bytes differ from the ones hashed
    NotHashed,  ///< the index holds no hash for the path
};

/// The word for \p state in reports: "ok", "missing", "unreadable", "changed", "not hashed".
QString stateName(ChartState state);

/// The state of the file at \p path against \p storedHash (empty: none stored). \p detail gets
/// the reason of an unreadable file.
ChartState checkChart(const QString& path, const QByteArray& storedHash, QString* detail = nullptr);

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

/// Checks the chart of every row of patients \p from to \p to (every row when not given),
/// reading files on at most \p threads threads. \p report hears every row that does not match,
/// \p progress every row done; both are called on the calling thread. std::nullopt, with the
/// reason in the index's lastError(), when the rows or hashes cannot be read.
std::optional<Summary> verifyCharts(ChartIndex& index, std::optional<std::pair<int, int>> range,
                                    int threads, const std::function<void(const Finding&)>& report,
                                    const std::function<void(qint64 done)>& progress = {});

} // namespace chartverification
