#pragma once

/// \file
/// The keyword search from the typed texts to what the operator sees: the first rows with the
/// number of all matching rows, or the message that takes their place.

#include "index/chartrow.h"

#include <QFuture>
#include <QString>
#include <memory>
#include <optional>

class ChartIndex;
class IndexRowModel;
class QThreadPool;

struct KeywordSearchOutcome {
    std::unique_ptr<IndexRowModel> rows; ///< null when there is nothing to show
    /// Known at once when the first rows were all; else countKeywordMatches() finds it.
    std::optional<qint64> recordCount;
    QString message; ///< the status message when there are no rows to show
};

/// Runs the search for \p typed on \p index and reads its first rows, so that they show at
/// once; the number of all rows is left to countKeywordMatches() when there are more.
KeywordSearchOutcome runKeywordSearch(ChartIndex& index, const chartindex::Keywords& typed);

/// Counts the rows that match \p typed on a thread of \p pool, over a connection of its own
/// to the index of \p programFolder, so that the result window answers while a long result is
/// counted. std::nullopt when the count fails.
QFuture<std::optional<qint64>> countKeywordMatches(const QString& programFolder,
                                                   const chartindex::Keywords& typed,
                                                   QThreadPool& pool);
