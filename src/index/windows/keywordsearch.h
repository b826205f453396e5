#pragma once

/// \file
/// The keyword search from the typed texts to what the operator sees: the first rows with the
/// number of all matching rows, or the message that takes their place.

#include "index/chartrow.h"

#include <QString>
#include <memory>

class ChartIndex;
class IndexRowModel;

struct KeywordSearchOutcome {
    std::unique_ptr<IndexRowModel> rows; ///< null when there is nothing to show
    qint64 recordCount = 0;
    QString message; ///< the status message when there are no rows to show
};

/// Runs the search for \p typed on \p index: the first rows are read at once, and only a
/// result longer than those is counted by the index.
KeywordSearchOutcome runKeywordSearch(ChartIndex& index, const chartindex::Keywords& typed);
