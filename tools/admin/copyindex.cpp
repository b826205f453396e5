#include "admincommand.h"

#include "index/chartindex.h"

#include <QTextStream>

namespace {

enum CopyExit : int {
    ExitTargetNotEmpty = 1, ///< the target index holds rows already
    ExitCannotOpen = 2,     ///< an index cannot be opened
    ExitCopyFailed = 3,     ///< reading, writing or the count check failed; the target is unchanged
};

/// Rows written per statement batch.
constexpr size_t CopyBatchRows = 1000;

} // namespace

/// copy-index FROM TO: every row of the index of program folder FROM into the empty index of
/// program folder TO (typically an SQLite file into a new server database), in one transaction,
/// with their time stamps; the counts are compared before the copy is committed.
int runCopyIndex(const QStringList& arguments, const QString&) {
    QTextStream err(stderr);
    if (arguments.size() != 2) {
        err << "usage: pelorafile-admin copy-index FROM TO\n";
        return ExitUsage;
    }
    ChartIndex source;
    ChartIndex target;
    for (auto [index, folder] : {std::pair{&source, arguments.at(0)}, {&target, arguments.at(1)}}) {
        if (!openIndex(*index, folder, err)) {
            return ExitCannotOpen;
        }
    }
    const auto targetRows = target.rowCount();
    if (!targetRows) {
        err << "cannot count the rows of " << target.location() << ": " << target.lastError()
            << '\n';
        return ExitCopyFailed;
    }
    if (*targetRows != 0) {
        err << target.location() << " holds " << *targetRows
            << " rows already; the copy goes only into an empty index\n";
        return ExitTargetNotEmpty;
    }
    const auto sourceRows = source.rowCount();
    if (!sourceRows) {
        err << "cannot count the rows of " << source.location() << ": " << source.lastError()
            << '\n';
        return ExitCopyFailed;
    }
    IndexTransaction transaction(target);
    if (!transaction.active()) {
        err << "cannot begin the copy into " << target.location() << ": " << target.lastError()
            << '\n';
        return ExitCopyFailed;
    }
    IndexCursor rows = source.allRows();
    std::vector<ChartIndex::StoredRow> batch;
    qint64 copied = 0;
    auto flush = [&] {
        if (batch.empty()) {
            return true;
        }
        const bool written = target.appendRows(batch);
        copied += qint64(batch.size());
        batch.clear();
        return written;
    };
    while (auto row = rows.next()) {
        batch.push_back(std::move(*row));
        if (batch.size() == CopyBatchRows && !flush()) {
            err << "the copy into " << target.location() << " failed: " << target.lastError()
                << '\n';
            return ExitCopyFailed;
        }
    }
    if (rows.failed()) {
        err << "reading " << source.location() << " failed: " << rows.error() << '\n';
        return ExitCopyFailed;
    }
    if (!flush()) {
        err << "the copy into " << target.location() << " failed: " << target.lastError() << '\n';
        return ExitCopyFailed;
    }
    const auto written = target.rowCount();
    if (!written || *written != *sourceRows || copied != *sourceRows) {
        err << "the counts differ: " << *sourceRows << " rows in " << source.location() << ", "
            << copied << " read, " << (written ? QString::number(*written) : target.lastError())
            << " in " << target.location() << "; nothing was copied\n";
        return ExitCopyFailed;
    }
    if (!transaction.commit()) {
        err << "the copy into " << target.location()
            << " could not be committed: " << target.lastError() << '\n';
        return ExitCopyFailed;
    }
    QTextStream(stdout) << "copied " << copied << " rows from " << source.location() << " to "
                        << target.location() << '\n';
    return ExitOk;
}
