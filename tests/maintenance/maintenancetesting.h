// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// What the tests of the maintenance windows share: an open chart index on the test's backend
/// beside an archive folder of real files, and menu entries clicked as the operator clicks them.

#include "index/chartindex.h"
#include "serverenvironment.h"
#include "support/fakeprompts.h"
#include "support/typetext.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

/// An open index on the parameter's backend and an empty archive folder.
class MaintenanceTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        createIndex();
        ASSERT_TRUE(m_index.open(m_testbed->folder())) << m_index.lastError().toStdString();
        ASSERT_TRUE(m_archive.isValid());
    }

    /// The path of \p relative inside the archive.
    QString archivePath(const QString& relative) const {
        return QDir::cleanPath(m_archive.path() + u'/' + relative);
    }

    /// A chart file at \p relative in the archive (its folders made), returning its path.
    QString makeFile(const QString& relative, const QByteArray& bytes = "%PDF-1.2\n") const {
        const QString path = archivePath(relative);
        EXPECT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
        file.write(bytes);
        return path;
    }

    /// A row for \p path, as a save adds it.
    void addRow(int pidno, const QString& path, const chartindex::Keywords& keys = {}) {
        ASSERT_TRUE(m_index.insertChart(chartRow(pidno, path, keys)))
            << m_index.lastError().toStdString();
    }
    static chartindex::ChartRow chartRow(int pidno, const QString& path,
                                         const chartindex::Keywords& keys = {}) {
        chartindex::ChartRow row;
        row.pidno = pidno;
        row.filePath = path;
        row.keys = keys;
        return row;
    }

    /// \p count rows at once, for patient \p pidno, whose paths \p pathOf gives.
    void addRows(int count, int pidno, const std::function<QString(int)>& pathOf) {
        std::vector<ChartIndex::StoredRow> rows;
        for (int n = 0; n < count; ++n) {
            ChartIndex::StoredRow row;
            row.pidno = pidno;
            row.subNo = n % 1000;
            row.createdAt = QDateTime(QDate(2024, 1, 1), QTime(0, 0));
            row.filePath = pathOf(n);
            rows.push_back(row);
        }
        ChartIndex::BulkImport import(m_index);
        ASSERT_TRUE(import.active()) << m_index.lastError().toStdString();
        ASSERT_TRUE(import.add(rows)) << m_index.lastError().toStdString();
        ASSERT_TRUE(import.commit()) << m_index.lastError().toStdString();
    }

    /// Every row's path, in the order of the index.
    QStringList registeredPaths() {
        QStringList paths;
        IndexCursor rows = m_index.allRows();
        while (auto row = rows.next()) {
            paths << row->filePath;
        }
        return paths;
    }

    /// Makes the index refuse every insert from now on, as a full disk would.
    void refuseInserts() {
        if (GetParam() == Backend::Sqlite) {
            m_testbed->exec("CREATE TRIGGER refuse BEFORE INSERT ON PeloraFileDB "
                            "BEGIN SELECT RAISE(ABORT, 'refused'); END");
        } else {
            m_testbed->exec("CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN RAISE "
                            "EXCEPTION 'refused'; END $$ LANGUAGE plpgsql");
            m_testbed->exec("CREATE TRIGGER refuse BEFORE INSERT ON PeloraFileDB FOR EACH ROW "
                            "EXECUTE FUNCTION refuse()");
        }
    }

    ChartIndex m_index;
    QTemporaryDir m_archive;
    FakePrompts m_prompts;
};

#define PELORA_INSTANTIATE_BACKENDS(suite)                                                         \
    INSTANTIATE_TEST_SUITE_P(                                                                      \
        Backends, suite, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendParamName)

/// Opens the menu of \p entry in \p bar with a click (and its submenus with the arrow keys)
/// and clicks \p entry.
inline void clickMenuEntry(QMenuBar* bar, QAction* entry) {
    QList<QMenu*> chain; // the entry's menu first, the menu bar's menu last
    for (auto* menu = qobject_cast<QMenu*>(entry->parent()); menu;
         menu = qobject_cast<QMenu*>(menu->parent())) {
        chain.prepend(menu);
    }
    ASSERT_FALSE(chain.isEmpty());
    // A click on the bar while the last menu is still closing would close this one again.
    ASSERT_TRUE(QTest::qWaitFor([] { return !QApplication::activePopupWidget(); }));
    QTest::mouseClick(bar, Qt::LeftButton, {},
                      bar->actionGeometry(chain.first()->menuAction()).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return chain.first()->isVisible(); }));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(chain.first()));
    for (qsizetype n = 1; n < chain.size(); ++n) {
        // The arrow keys walk to the submenu's entry and open it; the pointer alone would
        // wait for the menu's delay.
        QMenu* outer = chain.at(n - 1);
        QAction* submenu = chain.at(n)->menuAction();
        for (int step = 0; outer->activeAction() != submenu && step < 20; ++step) {
            QTest::keyClick(outer, Qt::Key_Down);
        }
        ASSERT_EQ(outer->activeAction(), submenu);
        QTest::keyClick(outer, Qt::Key_Right);
        ASSERT_TRUE(QTest::qWaitFor([&] { return chain.at(n)->isVisible(); }));
        ASSERT_TRUE(QTest::qWaitForWindowExposed(chain.at(n)));
    }
    QMenu* menu = chain.last();
    ASSERT_TRUE(entry->isEnabled()) << entry->text().toStdString() << " is disabled";
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(entry).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !chain.first()->isVisible(); }));
}

/// The text that pdftotext reads from \p pdf.
inline QString pdfText(const QString& pdf) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"),
                  {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
    if (!process.waitForFinished(30000) || process.exitCode() != 0) {
        return QStringLiteral("<pdftotext failed: %1>")
            .arg(QString::fromUtf8(process.readAllStandardError()));
    }
    return QString::fromUtf8(process.readAllStandardOutput());
}

/// The document title that pdfinfo reads from \p pdf.
inline QString pdfTitle(const QString& pdf) {
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), {pdf});
    process.waitForFinished(30000);
    for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split(u'\n')) {
        if (line.startsWith(QLatin1String("Title:"))) {
            return line.mid(6).trimmed();
        }
    }
    return {};
}
