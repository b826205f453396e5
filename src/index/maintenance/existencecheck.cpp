#include "index/maintenance/existencecheck.h"

#include "platform/sha256.h"

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

struct ExistenceCheck::Hashing {
    QString path;
    QByteArray stored;
    QFile file;
    Sha256 hash;
};

ExistenceCheck::ExistenceCheck(IndexCursor rows, int from, int to)
    : m_rows(std::move(rows)), m_from(from), m_to(to) {}

ExistenceCheck::~ExistenceCheck() = default;

bool ExistenceCheck::hashOn(std::chrono::steady_clock::time_point deadline,
                            std::vector<ContentFinding>* contents) {
    using chartverification::ChartState;
    // A piece is read in about a millisecond: the deadline is never passed by much.
    constexpr qint64 PieceBytes = 1 << 20;
    std::vector<char> piece(PieceBytes);
    for (;;) {
        const qint64 got = m_hashing->file.read(piece.data(), PieceBytes);
        if (got < 0) {
            contents->push_back({m_hashing->path, ChartState::Unreadable});
            m_hashing.reset();
            return true;
        }
        if (got == 0) {
            if (m_hashing->hash.hexDigest() != m_hashing->stored) {
                contents->push_back({m_hashing->path, ChartState::Changed});
            }
            m_hashing.reset();
            return true;
        }
        m_hashing->hash.add(piece.data(), std::size_t(got));
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
    }
}

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
    if (m_hashing && !hashOn(deadline, contents)) {
        return m_state;
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
            const std::optional<QByteArray> stored = m_contents->storedHash(row->filePath);
            if (!stored || stored->isEmpty()) {
                contents->push_back(
                    {row->filePath, stored ? chartverification::ChartState::NotHashed
                                           : chartverification::ChartState::Unreadable});
            } else {
                m_hashing = std::make_unique<Hashing>();
                m_hashing->path = row->filePath;
                m_hashing->stored = *stored;
                m_hashing->file.setFileName(row->filePath);
                if (!m_hashing->file.open(QIODevice::ReadOnly)) {
                    contents->push_back({row->filePath, chartverification::ChartState::Unreadable});
                    m_hashing.reset();
                } else if (!hashOn(deadline, contents)) {
                    return m_state;
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
