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
    rows->fetchRows(IndexRowModel::FetchRows);
    std::optional<qint64> count;
    if (rows->error().isEmpty()) {
        count = rows->atEnd() ? std::optional<qint64>(rows->rowCount()) : rows->count();
    }
    if (!count) {
        outcome.message = indexmessages::SearchFailed;
    } else if (*count == 0) {
        outcome.message = indexmessages::NoMatch;
    } else {
        outcome.rows = std::move(rows);
        outcome.recordCount = *count;
    }
    return outcome;
}
