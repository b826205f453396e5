// SPDX-License-Identifier: GPL-3.0-or-later
// search-bench [--rows N] [--server-folder DIR]: on an index of N rows (1,000,000 by default) on
// SQLite and on PostgreSQL, prints the time from "検索の実行" to the result window showing its
// first rows, and the window's longest stall while the operator scrolls to the last row.

#include "benchindex.h"
#include "index/windows/indexrowmodel.h"
#include "index/windows/keywordsearch.h"
#include "index/windows/tsrchresultform.h"
#include "platform/urlopener.h"

#include <QApplication>
#include <QScrollBar>
#include <QTableView>
#include <QThreadPool>

namespace {

using benchindex::out;

class NoOpener final : public UrlOpener {
public:
    bool open(const QUrl&) override { return true; }
};

double msSince(const QElapsedTimer& timer) {
    return double(timer.nsecsElapsed()) / 1e6;
}

void measure(ChartIndex& index, const QString& folder, qint64, int) {
    struct Search {
        const char* what;
        ChartIndex::Keywords typed;
    };
    const std::vector<Search> searches{
        {"common kanji key (胸部, ~8% of rows)", {"胸部"}},
        {"doctor code (Dr12, ~1.4%)", {"", "Dr12"}},
        {"rare note fragment (qxzv)", {"", "", "qxzv"}},
        {"no match (zzzzzz)", {"", "", "zzzzzz"}},
    };
    NoOpener opener;
    {
        // The program shows its main window before any search: the first window of the run
        // pays for fonts and styles, and that is not the search's time.
        TSrchResultForm first(opener);
        first.show();
        QCoreApplication::processEvents();
    }
    for (const auto& search : searches) {
        runKeywordSearch(index, search.typed); // warms the caches, as an earlier search would
        TSrchResultForm window(opener);
        QElapsedTimer timer;
        timer.start();
        KeywordSearchOutcome found = runKeywordSearch(index, search.typed);
        const QString message = found.message;
        double firstRows = msSince(timer);
        double counted = firstRows;
        if (found.rows) {
            window.setRows(std::move(found.rows), found.recordCount);
            window.show();
            QCoreApplication::processEvents();
            firstRows = msSince(timer);
            while (window.recordCountText().isEmpty() && window.messageText().isEmpty()) {
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
            }
            counted = msSince(timer);
        }
        out << QStringLiteral("  %1: first rows shown after %2 ms, the count (%3) after %4 ms%5\n")
                   .arg(QString::fromUtf8(search.what))
                   .arg(firstRows, 0, 'f', 1)
                   .arg(window.recordCountText().isEmpty() ? QStringLiteral("0")
                                                           : window.recordCountText())
                   .arg(counted, 0, 'f', 1)
                   .arg(message.isEmpty() ? QString() : QStringLiteral(", ") + message);
        out.flush();
        if (!window.rows() || search.typed[0] != QStringLiteral("胸部")) {
            continue;
        }
        {
            // What one read of the cursor costs, apart from the window.
            IndexCursor cursor = index.searchKeywords(search.typed);
            QElapsedTimer read;
            read.start();
            int rows = 0;
            while (rows < 20000 && cursor.next()) {
                ++rows;
            }
            out << QStringLiteral("  reading rows alone: %1 ms per 1000 rows\n")
                       .arg(msSince(read) * 1000 / std::max(rows, 1), 0, 'f', 1);
        }
        // Scrolling to the end as the operator drags the bar down: each step is what the window
        // does before it answers again.
        QScrollBar* bar = window.grid()->verticalScrollBar();
        double longest = 0;
        int steps = 0;
        QElapsedTimer total;
        total.start();
        while (window.rows()->canFetchMore() || bar->value() < bar->maximum()) {
            QElapsedTimer step;
            step.start();
            bar->setValue(bar->maximum());
            QCoreApplication::processEvents();
            longest = std::max(longest, msSince(step));
            ++steps;
        }
        out << QStringLiteral("  scrolling to row %1: longest stall %2 ms over %3 steps, %4 s in "
                              "all\n")
                   .arg(window.rows()->rowCount())
                   .arg(longest, 0, 'f', 1)
                   .arg(steps)
                   .arg(msSince(total) / 1000, 0, 'f', 1);
        out.flush();
    }
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen"); // measured without a display
    }
    QApplication app(argc, argv);
    return benchindex::runBackends(measure);
}
