// SPDX-License-Identifier: GPL-3.0-or-later
#include "admincommand.h"
#include "columntext.h"

#include "index/chartindex.h"
#include "index/chartverification.h"

#include <QTextStream>
#include <QThread>
#include <algorithm>
#include <unistd.h>

namespace {

enum TrailExit : int {
    ExitProblems = 1,         ///< verify: charts that are missing, unreadable, changed or unhashed
    ExitIndexUnavailable = 2, ///< the chart index cannot be opened
    ExitReadFailed = 3,       ///< reading rows, hashes or the trail failed
};

/// Reads FROM TO as a range of patient numbers; false when they are not one.
bool readRange(const QStringList& arguments, std::pair<int, int>* range) {
    const auto from = patientNumberArgument(arguments.at(0));
    const auto to = patientNumberArgument(arguments.at(1));
    if (!from || !to || *from > *to) {
        return false;
    }
    *range = {*from, *to};
    return true;
}

} // namespace

/// verify [FROM TO]: every chart of the range (all when none is given) read again and its
/// SHA-256 compared with the one stored when it was filed; one line per chart that is missing,
/// unreadable, changed or has no stored hash.
int runVerify(const QStringList& arguments, const QString& programFolder) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    std::optional<std::pair<int, int>> range;
    if (arguments.size() == 2) {
        range.emplace();
        if (!readRange(arguments, &*range)) {
            err << "FROM and TO must be patient numbers of 1..99999999, FROM not above TO\n";
            return ExitUsage;
        }
    } else if (!arguments.isEmpty()) {
        err << "usage: pelorafile-admin verify [FROM TO]\n";
        return ExitUsage;
    }
    ChartIndex index;
    if (!openIndex(index, programFolder, err)) {
        return ExitIndexUnavailable;
    }
    const bool terminal = ::isatty(STDERR_FILENO) == 1;
    std::optional<qint64> total;
    if (terminal) {
        total = (range ? index.patientRange(range->first, range->second) : index.allRows()).count();
    }
    const int threads = std::clamp(QThread::idealThreadCount(), 1, 4);
    QString readError;
    const auto summary = chartverification::verifyCharts(
        programFolder, range, threads,
        [&](const chartverification::Finding& finding) {
            out << chartverification::stateName(finding.state) << '\t'
                << columnText(finding.filePath);
            if (!finding.detail.isEmpty()) {
                out << '\t' << columnText(finding.detail);
            }
            out << '\n';
            out.flush();
        },
        [&](qint64 done) {
            if (terminal && (done % 100 == 0 || (total && done == *total))) {
                err << '\r' << done << (total ? QStringLiteral(" / %1").arg(*total) : QString())
                    << " charts checked";
                err.flush();
            }
        },
        &readError);
    if (terminal) {
        err << '\n';
    }
    if (!summary) {
        err << "reading the index failed: " << readError << '\n';
        return ExitReadFailed;
    }
    err << summary->charts << " charts checked, " << summary->problems << " with a problem, "
        << summary->bytes / (1024 * 1024) << " MiB read\n";
    // A chart and its stored hash rewritten together match each other: only the trail tells.
    qint64 trailProblems = 0;
    const bool trailRead = index.checkTrail([&](const ChartIndex::TrailFinding& finding) {
        out << "trail\t" << columnText(finding.what) << '\n';
        ++trailProblems;
    });
    if (!trailRead) {
        err << "reading the audit trail failed: " << index.lastError() << '\n';
        return ExitReadFailed;
    }
    if (trailProblems > 0) {
        err << trailProblems << " problems found in the audit trail\n";
    }
    return summary->problems == 0 && trailProblems == 0 ? ExitOk : ExitProblems;
}

/// audit [--check] [PATIENT]: the lines of the audit trail, oldest first, of one patient or of
/// all; with --check, what is wrong with the trail instead.
int runAudit(const QStringList& given, const QString& programFolder) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList arguments = given;
    const bool check = arguments.removeAll(QStringLiteral("--check")) > 0;
    std::optional<int> pidno;
    if (arguments.size() == 1 && !check) {
        bool ok = false;
        pidno = arguments.at(0).toInt(&ok);
        if (!ok) {
            err << "PATIENT must be a patient number\n";
            return ExitUsage;
        }
    } else if (!arguments.isEmpty()) {
        err << "usage: pelorafile-admin audit [--check] [PATIENT]\n";
        return ExitUsage;
    }
    ChartIndex index;
    index.setStatementLimitMs(0); // the whole trail is read in one statement
    if (!openIndex(index, programFolder, err)) {
        return ExitIndexUnavailable;
    }
    if (check) {
        qint64 problems = 0;
        const bool read = index.checkTrail([&](const ChartIndex::TrailFinding& finding) {
            out << columnText(finding.what) << '\n';
            ++problems;
        });
        if (!read) {
            err << "reading the audit trail failed: " << index.lastError() << '\n';
            return ExitReadFailed;
        }
        err << (problems == 0 ? QStringLiteral("the audit trail is unbroken and matches the index")
                              : QStringLiteral("%1 problems found").arg(problems))
            << '\n';
        return problems == 0 ? ExitOk : ExitProblems;
    }
    const bool read = index.forEachAuditRow(pidno, [&](const ChartIndex::AuditRow& row) {
        QStringList columns{ChartIndex::timestampText(row.at),
                            columnText(row.host),
                            columnText(row.user),
                            row.action,
                            QString::number(row.pidno),
                            columnText(row.filePath)};
        for (const auto* keys : {&row.oldKeys, &row.newKeys}) {
            for (const QString& key : *keys) {
                columns << columnText(key);
            }
        }
        out << columns.join(QLatin1Char('\t')) << '\n';
    });
    if (!read) {
        err << "reading the audit trail failed: " << index.lastError() << '\n';
        return ExitReadFailed;
    }
    return ExitOk;
}
