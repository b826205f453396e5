// SPDX-License-Identifier: GPL-3.0-or-later
#include "index/maintenance/existencecheck.h"

#include <QFile>
#include <sys/stat.h>
#include <vector>

namespace maintenance {

bool chartFileExists(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    // stat() rather than QFileInfo: one system call per row, and no cached attributes.
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

IndexCursor rowsToCheck(ChartIndex& index, int from, int to, qint64 rangeRows) {
    const auto total = index.rowCount();
    if (total && rangeRows * 4 > *total) {
        return index.allRows(); // the check skips the rows of other patients
    }
    return index.patientRange(from, to);
}

ExistenceCheck::ExistenceCheck(IndexCursor rows, int from, int to)
    : m_rows(std::move(rows)), m_from(from), m_to(to) {}

ExistenceCheck::~ExistenceCheck() = default;

ExistenceCheck::State ExistenceCheck::step(std::chrono::milliseconds budget, QStringList* missing,
                                           std::vector<ContentFinding>* contents) {
    if (m_state != State::Running) {
        return m_state;
    }
    const auto deadline = std::chrono::steady_clock::now() + budget;
    std::vector<ContentFinding> unreported;
    if (!contents) {
        contents = &unreported;
    }
    // The clock is read every few rows: a stat() is far shorter than a slice.
    constexpr int RowsBetweenClockReads = 32;
    for (int inSlice = 0;; ++inSlice) {
        if (inSlice > 0 && startsPage(m_read)) {
            return m_state;
        }
        auto row = m_rows.next();
        if (!row) {
            m_state = m_rows.failed() ? State::Failed : State::Done;
            return m_state;
        }
        ++m_read;
        if (row->pidno < m_from || row->pidno > m_to) {
            continue;
        }
        ++m_examined;
        if (!chartFileExists(row->filePath)) {
            missing->append(row->filePath);
        } else if (m_contents) {
            using chartverification::ChartState;
            const std::optional<QByteArray> stored = m_contents->storedHash(row->filePath);
            if (!stored || stored->isEmpty()) {
                contents->push_back(
                    {row->filePath, stored ? ChartState::NotHashed : ChartState::Unreadable});
            } else {
                const ChartState state =
                    chartverification::checkChart(row->filePath, *stored, nullptr, m_stopRequested);
                if (state != ChartState::Matches && state != ChartState::Missing) {
                    contents->push_back({row->filePath, state});
                }
            }
        }
        if (inSlice % RowsBetweenClockReads == RowsBetweenClockReads - 1 &&
            std::chrono::steady_clock::now() >= deadline) {
            return m_state;
        }
    }
}

bool startsPage(qint64 rowsRead) {
    if (rowsRead < IndexCursor::FirstPageRows) {
        return rowsRead == 0;
    }
    return (rowsRead - IndexCursor::FirstPageRows) % IndexCursor::PageRows == 0;
}

} // namespace maintenance
