// SPDX-License-Identifier: GPL-3.0-or-later
#include "admincommand.h"

#include "index/chartindex.h"

#include <QTextStream>

namespace {

enum CopyExit : int {
    ExitTargetNotEmpty = 1, ///< the target index holds rows already
    ExitCannotOpen = 2,     ///< an index cannot be opened
    ExitCopyFailed = 3,     ///< reading, writing or the count check failed; the target is unchanged
};

} // namespace

/// copy-index FROM TO: every row, hash and audit line of the index of program folder FROM into
/// the empty index of program folder TO (typically an SQLite file into a new server database),
/// in one transaction: rows keep their identities and time stamps, the trail its chain; the
/// counts of all three are compared before the copy is committed.
int runCopyIndex(const QStringList& arguments, const QString&) {
    QTextStream err(stderr);
    if (arguments.size() != 2) {
        err << "usage: pelorafile-admin copy-index FROM TO\n";
        return ExitUsage;
    }
    ChartIndex source;
    ChartIndex target;
    // A copy runs long statements on purpose.
    source.setStatementLimitMs(0);
    target.setStatementLimitMs(0);
    for (auto [index, folder] : {std::pair{&source, arguments.at(0)}, {&target, arguments.at(1)}}) {
        if (!openIndex(*index, folder, err)) {
            return ExitCannotOpen;
        }
    }
    bool targetNotEmpty = false;
    qint64 copied = 0;
    if (!target.copyFrom(
            source, [&copied](qint64 done) { copied = done; }, &targetNotEmpty)) {
        err << target.lastError() << '\n';
        return targetNotEmpty ? ExitTargetNotEmpty : ExitCopyFailed;
    }
    QTextStream(stdout) << "copied " << copied << " rows from " << source.location() << " to "
                        << target.location() << '\n';
    return ExitOk;
}
