// SPDX-License-Identifier: GPL-3.0-or-later
// maintenance-bench [--rows N]: an index of N rows (100,000 by default) and as many chart files
// in a real folder tree of the archive layout, with one row in a hundred whose file is missing
// and one file in a hundred without a row. On SQLite and on a private PostgreSQL server it
// prints how long the existence check of the whole index and the registration walk of the
// whole archive take in their windows, and the longest the window went without handling its
// events during each (the goals: 3 s, 5 s, and no stall over 50 ms); and how soon the
// maintenance window shows the first rows of all.

#include "index/chartindex.h"
#include "index/chartindexschema.h"
#include "index/maintenance/maintenancerowmodel.h"
#include "index/maintenance/resultlist.h"
#include "index/maintenance/tdbmainteform.h"
#include "index/maintenance/tdbregchkform.h"
#include "index/maintenance/tpeloraexistform.h"
#include "platform/userprompts.h"
#include "settings/foldertree.h"
#include "settings/tregistory.h"

#ifdef PELORA_PRIVATE_SERVER
#include "privateserver.h"
#endif

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <functional>

namespace {

QTextStream out(stdout);

/// Charts per patient.
constexpr int ChartsPerPatient = 5;

/// The path of chart \p n below \p archive, in the archive layout (four levels of two digits).
QString chartPath(const QString& archive, qint64 n) {
    const int pidno = 1 + int(n / ChartsPerPatient);
    const QString digits = QStringLiteral("%1").arg(pidno, 8, 10, QChar('0'));
    return QStringLiteral("%1/%2/%3/%4/%5/HP77_%6_%7.pdf")
        .arg(archive, digits.mid(0, 2), digits.mid(2, 2), digits.mid(4, 2), digits.mid(6, 2))
        .arg(pidno)
        .arg(n % ChartsPerPatient);
}

bool rowIsFiled(qint64 n) {
    return n % 100 != 37; // one chart in a hundred has no row
}
bool fileIsThere(qint64 n) {
    return n % 100 != 71; // one row in a hundred has lost its file
}

bool makeArchive(const QString& archive, qint64 charts) {
    QElapsedTimer timer;
    timer.start();
    QString lastFolder;
    for (qint64 n = 0; n < charts; ++n) {
        if (!fileIsThere(n)) {
            continue;
        }
        const QString path = chartPath(archive, n);
        const QString folder = QFileInfo(path).path();
        if (folder != lastFolder && !QDir().mkpath(folder)) {
            return false;
        }
        lastFolder = folder;
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) {
            return false;
        }
        file.write("%PDF-1.2\n");
    }
    out << "archive: " << charts << " charts made in " << timer.elapsed() / 1000.0 << " s\n";
    out.flush();
    return true;
}

bool fill(ChartIndex& index, const QString& archive, qint64 charts) {
    index.setStatementLimitMs(0);
    ChartIndex::BulkImport transaction(index);
    if (!transaction.active()) {
        return false;
    }
    std::vector<ChartIndex::StoredRow> batch;
    for (qint64 n = 0; n < charts; ++n) {
        if (rowIsFiled(n)) {
            ChartIndex::StoredRow row;
            row.pidno = 1 + int(n / ChartsPerPatient);
            row.subNo = int(n % ChartsPerPatient);
            row.createdAt = QDateTime(QDate(2015, 1, 1), QTime(8, 0)).addSecs(n * 300);
            row.filePath = chartPath(archive, n);
            row.keys[0] = QStringLiteral("胸部");
            batch.push_back(row);
        }
        if (batch.size() == 1000 || n + 1 == charts) {
            if (!transaction.add(batch)) {
                return false;
            }
            batch.clear();
        }
    }
    return transaction.commit();
}

/// No dialog appears in a benchmark.
class SilentPrompts final : public UserPrompts {
public:
    int exec(QDialog&) override { return 0; }
    QMessageBox::StandardButton question(QWidget*, const QString&, const QString&,
                                         QMessageBox::StandardButtons) override {
        return QMessageBox::No;
    }
    void showError(QWidget*, const QString&) override {}
    FileChoice openFiles(QWidget*, const QString&, const QString&, bool) override { return {}; }
    FileChoice saveFile(QWidget*, const QString&, const QString&, const QString&) override {
        return {};
    }
};

struct Run {
    double seconds = 0;
    double longestStallMs = 0;
};

/// Clicks \p button and lets the events run until \p running turns false, timing the whole and
/// the longest gap between two turns of the event loop.
Run timeRun(QPushButton* button, const std::function<bool()>& running) {
    QElapsedTimer sinceTurn;
    qint64 longest = 0;
    QTimer turns;
    turns.setInterval(0);
    QObject::connect(&turns, &QTimer::timeout, [&] {
        longest = std::max(longest, sinceTurn.nsecsElapsed());
        sinceTurn.restart();
    });
    QElapsedTimer total;
    total.start();
    sinceTurn.start();
    turns.start();
    button->click(); // inside the event loop's time: the click's own work counts as a stall
    while (running()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    QCoreApplication::processEvents();
    turns.stop();
    longest = std::max(longest, sinceTurn.nsecsElapsed());
    return {double(total.nsecsElapsed()) / 1e9, double(longest) / 1e6};
}

void measure(const QString& name, const QString& programFolder, const QString& archive,
             qint64 charts) {
    out << name << ":\n";
    out.flush();
    ChartIndex index;
    if (!index.open(programFolder)) {
        out << "  cannot open: " << index.lastError() << '\n';
        return;
    }
    QElapsedTimer timer;
    timer.start();
    if (!fill(index, archive, charts)) {
        out << "  filling failed: " << index.lastError() << '\n';
        return;
    }
    out << "  filled " << *index.rowCount() << " rows in " << timer.elapsed() / 1000.0 << " s\n";
    out.flush();

    SilentPrompts prompts;
    TDBMainteForm maintenance(index, prompts);
    maintenance.prepareToShow();
    maintenance.show();
    QElapsedTimer opening;
    opening.start();
    maintenance.searchAction()->trigger(); // "検索" with Edit1 empty: every row
    QCoreApplication::processEvents();
    out << QStringLiteral("  maintenance grid, all rows: first %1 rows shown after %2 ms (%3 rows "
                          "counted)\n")
               .arg(maintenance.rows()->rowCount())
               .arg(double(opening.nsecsElapsed()) / 1e6, 0, 'f', 1)
               .arg(*maintenance.rows()->count());
    out.flush();
    maintenance.hide();

    TPeloraExistForm existence(index, prompts);
    existence.show();
    existence.fromEdit()->setText(QStringLiteral("1"));
    existence.toEdit()->setText(QStringLiteral("99999999"));
    const Run check = timeRun(existence.runButton(), [&] { return existence.isRunning(); });
    out << QStringLiteral("  existence check of all rows: %1 s (goal 3 s), %2 missing files "
                          "found, longest stall %3 ms (goal 50 ms)\n")
               .arg(check.seconds, 0, 'f', 2)
               .arg(existence.resultMemo()->lineCount())
               .arg(check.longestStallMs, 0, 'f', 1);
    out.flush();
    existence.hide();

    TRegistory settings;
    settings.Target = archive;
    TDBRegChkForm registration(index, settings, prompts);
    registration.prepareToShow();
    registration.show();
    auto* model = qobject_cast<QFileSystemModel*>(registration.folderTree()->model());
    // The tree opens at the archive; choosing it means moving onto it, as a click does.
    registration.folderTree()->setCurrentIndex(model->index(QFileInfo(archive).path()));
    registration.folderTree()->setCurrentIndex(model->index(archive));
    if (registration.chosenFolder() != archive) {
        out << "  the archive could not be chosen in the folder tree\n";
        return;
    }
    const Run walk =
        timeRun(registration.exploreButton(), [&] { return registration.isWalking(); });
    out << QStringLiteral("  registration walk of the whole archive: %1 s (goal 5 s), %2 files "
                          "without a row found, longest stall %3 ms (goal 50 ms)\n")
               .arg(walk.seconds, 0, 'f', 2)
               .arg(registration.log()->lineCount())
               .arg(walk.longestStallMs, 0, 'f', 1);
    out.flush();
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    qint64 charts = 100000;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype n = 1; n + 1 < arguments.size(); n += 2) {
        if (arguments.at(n) == u"--rows") {
            charts = arguments.at(n + 1).toLongLong();
        }
    }
    QTemporaryDir archiveDir;
    const QString archive = QDir::cleanPath(archiveDir.path());
    if (!makeArchive(archive, charts)) {
        out << "cannot make the archive in " << archive << '\n';
        return 1;
    }

    QTemporaryDir sqliteFolder;
    QString error;
    if (!chartindex::createEmptyIndex(sqliteFolder.filePath(chartindex::fileName), &error)) {
        out << "cannot create the SQLite index: " << error << '\n';
        return 1;
    }
    measure(QStringLiteral("SQLite"), sqliteFolder.path(), archive, charts);

#ifdef PELORA_PRIVATE_SERVER
    std::unique_ptr<PrivateServer> server = PrivateServer::start(&error);
    if (!server) {
        out << "PostgreSQL: no server: " << error << '\n';
        return 1;
    }
    QTemporaryDir serverFolder;
    const QString database = server->createDatabase(&error);
    QFile conf(serverFolder.filePath(chartindex::confFileName));
    conf.open(QIODevice::WriteOnly);
    conf.write(PrivateServer::confText(server->address(database)));
    conf.close();
    if (chartindex::createIndex(*chartindex::locateIndex(serverFolder.path(), &error), &error) !=
        chartindex::CreateResult::Created) {
        out << "PostgreSQL: cannot create the index: " << error << '\n';
        return 1;
    }
    measure(QStringLiteral("PostgreSQL"), serverFolder.path(), archive, charts);
#else
    out << "PostgreSQL: skipped, built without the tests' private server\n";
#endif
    return 0;
}
