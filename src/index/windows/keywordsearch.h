// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The keyword search from the typed texts to what the operator sees: the first rows with the
/// number of all matching rows, or the message that takes their place.

#include "index/chartrow.h"

#include <QString>
#include <memory>
#include <optional>

class ChartIndex;
class IndexRowModel;

struct KeywordSearchOutcome {
    std::unique_ptr<IndexRowModel> rows; ///< null when there is nothing to show
    /// Known at once when the first rows were all; else the rows' startCount() finds it.
    std::optional<qint64> recordCount;
    QString message; ///< the status message when there are no rows to show
};

/// Runs the search for \p typed on \p index and reads its first rows, so that they show at
/// once; the number of all rows is left to a count job of the rows when there are more.
KeywordSearchOutcome runKeywordSearch(ChartIndex& index, const chartindex::Keywords& typed);
