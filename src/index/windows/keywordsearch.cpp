#include "index/windows/keywordsearch.h"

#include "index/chartindex.h"
#include "index/windows/indexmessages.h"
#include "index/windows/indexrowmodel.h"

#include <QtConcurrent/QtConcurrentRun>
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

QFuture<std::optional<qint64>> countKeywordMatches(const QString& programFolder,
                                                   const chartindex::Keywords& typed,
                                                   QThreadPool& pool) {
    return QtConcurrent::run(&pool, [programFolder, typed]() -> std::optional<qint64> {
        ChartIndex index; // a connection belongs to the thread that opened it
        if (!index.open(programFolder)) {
            return std::nullopt;
        }
        return index.searchKeywords(typed).count();
    });
}
