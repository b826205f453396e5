#pragma once

/// \file
/// The chart existence check without a window: the rows of a range of patients whose chart
/// file is not where the row says. It works in slices of a given length, so that a window can
/// let its events through between slices and a command can run it to the end at once.

#include "index/chartindex.h"

#include <QString>
#include <QStringList>
#include <chrono>
#include <optional>

namespace maintenance {

/// Whether \p path names a file: a folder of that name does not count, nor does anything
/// else that is not a regular file (a link to a regular file does count).
bool chartFileExists(const QString& path);

class ExistenceCheck {
public:
    enum class State : quint8 {
        Running, ///< rows are left to examine
        Done,    ///< every row was examined
        Failed,  ///< a page of rows could not be read; error() says why
    };

    /// Examines the rows of \p rows, in the order the cursor yields them.
    explicit ExistenceCheck(IndexCursor rows);

    /// Examines rows until there are none left or \p budget has passed, appending the path of
    /// each row without its file to \p missing.
    State step(std::chrono::milliseconds budget, QStringList* missing);

    /// Rows examined so far.
    qint64 examined() const { return m_examined; }
    const QString& error() const { return m_rows.error(); }

private:
    IndexCursor m_rows;
    qint64 m_examined = 0;
    State m_state = State::Running;
};

} // namespace maintenance
