// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// The chart existence check without a window: the rows of a range of patients whose chart
/// file is not where the row says. It works in slices of a given length, so that a background
/// job can send what a slice found and look whether it was stopped, and a command can run it
/// to the end at once.

#include "index/chartindex.h"

#include "index/chartverification.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>

namespace maintenance {

/// Whether \p path names a file: a folder of that name does not count, nor does anything
/// else that is not a regular file (a link to a regular file does count).
bool chartFileExists(const QString& path);

/// Whether the next row after \p rowsRead rows of a cursor comes with a new page read from the
/// index.
bool startsPage(qint64 rowsRead);

/// The rows to read for a check of patients \p from to \p to, which hold \p rangeRows of the
/// index's rows. A range that covers much of the index is read as all rows, in the order of
/// their identity: paging through a wide range by the patient number's index costs a sort of
/// the whole range for every page, which grows with the square of the rows.
IndexCursor rowsToCheck(ChartIndex& index, int from, int to, qint64 rangeRows);

class ExistenceCheck {
public:
    enum class State : quint8 {
        Running, ///< rows are left to examine
        Done,    ///< every row was examined
        Failed,  ///< a page of rows could not be read; error() says why
    };

    /// Examines the rows of patients \p from to \p to among those of \p rows, in the order
    /// the cursor yields them.
    ExistenceCheck(IndexCursor rows, int from, int to);
    ~ExistenceCheck();

    /// Also reads every chart that is there and compares its SHA-256 with the one \p index
    /// stored when it was filed; \p stopRequested ends the reading of a large chart early.
    void checkContents(ChartIndex& index, std::function<bool()> stopRequested = {}) {
        m_contents = &index;
        m_stopRequested = std::move(stopRequested);
    }

    /// A chart whose bytes are not the ones filed, or that cannot be told.
    struct ContentFinding {
        QString filePath;
        chartverification::ChartState state;
    };

    /// Examines rows until there are none left or \p budget has passed, appending the path of
    /// each row without its file to \p missing. A slice that has done some work ends before
    /// the cursor reads its next page, so that a page's read starts a slice of its own and no
    /// slice lasts much longer than the budget or one page.
    State step(std::chrono::milliseconds budget, QStringList* missing,
               std::vector<ContentFinding>* contents = nullptr);

    /// Rows examined so far.
    qint64 examined() const { return m_examined; }
    const QString& error() const { return m_rows.error(); }

private:
    IndexCursor m_rows;
    int m_from;
    int m_to;
    qint64 m_read = 0;     // rows the cursor handed out
    qint64 m_examined = 0; // of those, rows of the range
    State m_state = State::Running;
    ChartIndex* m_contents = nullptr;
    std::function<bool()> m_stopRequested;
};

} // namespace maintenance
