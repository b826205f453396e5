// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/windows/keywordsearch.h"

#include "index/chartindex.h"
#include "index/windows/indexmessages.h"
#include "index/windows/indexrowmodel.h"

#include <algorithm>

KeywordSearchOutcome runKeywordSearch(ChartIndex& index, const chartindex::Keywords& typed) {
    KeywordSearchOutcome outcome;
    if (std::all_of(typed.begin(), typed.end(),
                    [](const QString& text) { return text.isEmpty(); })) {
        outcome.message = indexmessages::NoSearchKey;
        return outcome;
    }
    auto rows = std::make_unique<IndexRowModel>(index.searchKeywords(typed));
    rows->fetchRows(IndexCursor::FirstPageRows); // one statement: what the window shows first
    if (!rows->error().isEmpty()) {
        outcome.message = indexmessages::SearchFailed;
    } else if (rows->rowCount() == 0) {
        outcome.message = indexmessages::NoMatch;
    } else {
        if (rows->atEnd()) {
            outcome.recordCount = rows->rowCount();
        }
        outcome.rows = std::move(rows);
    }
    return outcome;
}
