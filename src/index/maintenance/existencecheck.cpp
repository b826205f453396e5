#include "index/maintenance/existencecheck.h"

#include <QFile>
#include <sys/stat.h>

namespace maintenance {

bool chartFileExists(const QString& path) {
    if (path.isEmpty()) {
        return false;
    }
    // stat() rather than QFileInfo: one system call per row, and no cached attributes.
    struct stat info {};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}

ExistenceCheck::ExistenceCheck(IndexCursor rows) : m_rows(std::move(rows)) {}

ExistenceCheck::State ExistenceCheck::step(std::chrono::milliseconds budget, QStringList* missing) {
    if (m_state != State::Running) {
        return m_state;
    }
    const auto deadline = std::chrono::steady_clock::now() + budget;
    // The clock is read every few rows: a stat() is far shorter than a slice.
    constexpr int RowsBetweenClockReads = 32;
    for (;;) {
        for (int n = 0; n < RowsBetweenClockReads; ++n) {
            auto row = m_rows.next();
            if (!row) {
                m_state = m_rows.failed() ? State::Failed : State::Done;
                return m_state;
            }
            ++m_examined;
            if (!chartFileExists(row->filePath)) {
                missing->append(row->filePath);
            }
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return m_state;
        }
    }
}

} // namespace maintenance
