// SPDX-License-Identifier: GPL-3.0-or-later
// The hash kept beside each chart row and the audit trail of every change, on both backends:
// what a save, a keyword edit and a deletion leave behind, a trail that cannot be rewritten,
// and the verification of chart files against their hashes.

#include "index/chartindex.h"
#include "index/chartverification.h"
#include "platform/sha256.h"
#include "serverenvironment.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using chartverification::ChartState;

class TrailTest : public BackendTest {
protected:
    void SetUp() override {
        BackendTest::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        createIndex();
        ASSERT_TRUE(m_index.open(m_testbed->folder())) << m_index.lastError().toStdString();
    }

    /// A chart file of \p bytes filed with its hash, as a save files it.
    QString file(const QString& name, const QByteArray& bytes, int pidno, bool hashed = true) {
        const QString path = m_charts.filePath(name);
        QFile out(path);
        EXPECT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();
        ChartIndex::ChartRow row{pidno, 0, path, {"胸部", "", "", ""}};
        if (hashed) {
            Sha256 hash;
            hash.add(bytes.constData(), std::size_t(bytes.size()));
            row.sha256 = hash.hexDigest();
        }
        EXPECT_TRUE(m_index.insertChart(row)) << m_index.lastError().toStdString();
        return path;
    }

    std::vector<ChartIndex::AuditRow> trail(std::optional<int> pidno = {}) {
        std::vector<ChartIndex::AuditRow> rows;
        EXPECT_TRUE(m_index.forEachAuditRow(pidno, [&](const auto& row) { rows.push_back(row); }))
            << m_index.lastError().toStdString();
        return rows;
    }

    QTemporaryDir m_chartDir;
    QDir m_charts{m_chartDir.path()};
    ChartIndex m_index{[] { return QDateTime(QDate(2026, 12, 10), QTime(10, 0)); }};
};

TEST_P(TrailTest, EveryChangeOfARowLeavesALineAndNoLineCanBeChanged) {
    file("a.pdf", "%PDF-a", 7);
    IndexCursor rows = m_index.patientRows(7);
    const auto stored = rows.next();
    ASSERT_TRUE(stored);
    const auto edited = m_index.editKeywords(*stored, {"腹部", "Dr1", "", ""});
    ASSERT_TRUE(edited && edited.row);
    ASSERT_TRUE(m_index.deleteChart(*edited.row));
    file("b.pdf", "%PDF-b", 8);

    const auto seven = trail(7);
    ASSERT_EQ(seven.size(), 3u);
    EXPECT_EQ(seven[0].action, "insert");
    EXPECT_EQ(seven[0].newKeys, (ChartIndex::Keywords{"胸部", "", "", ""}));
    EXPECT_EQ(seven[1].action, "edit");
    EXPECT_EQ(seven[1].oldKeys, (ChartIndex::Keywords{"胸部", "", "", ""}));
    EXPECT_EQ(seven[1].newKeys, (ChartIndex::Keywords{"腹部", "Dr1", "", ""}));
    EXPECT_EQ(seven[2].action, "delete");
    EXPECT_EQ(seven[2].oldKeys, (ChartIndex::Keywords{"腹部", "Dr1", "", ""}));
    for (const auto& line : seven) {
        EXPECT_EQ(line.filePath, stored->filePath);
        EXPECT_FALSE(line.host.isEmpty());
        EXPECT_FALSE(line.user.isEmpty());
        EXPECT_EQ(line.at, QDateTime(QDate(2026, 12, 10), QTime(10, 0)));
    }
    EXPECT_EQ(trail().size(), 4u);

    // Neither the program's connection nor the owner of the tables can rewrite the trail.
    IndexTestbed::Peer peer(*m_testbed);
    QString error;
    EXPECT_FALSE(peer.tryExec("UPDATE ChartAudit SET Action = 'insert'", &error));
    EXPECT_TRUE(error.contains("append-only")) << error.toStdString();
    EXPECT_FALSE(peer.tryExec("DELETE FROM ChartAudit", &error));
    if (GetParam() == Backend::Postgres) {
        EXPECT_FALSE(peer.tryExec("TRUNCATE ChartAudit", &error));
    }
    EXPECT_EQ(trail().size(), 4u);

    // A failed change leaves no line.
    EXPECT_FALSE(m_index.editKeywords(*stored, {"x", "", "", ""}));
    EXPECT_EQ(trail().size(), 4u);
}

TEST_P(TrailTest, VerificationFindsEveryKindOfDamage) {
    const QByteArray original = QByteArray("%PDF-1.4 chart body ").repeated(1000);
    struct Case {
        const char* name;
        std::function<void(const QString& path)> damage;
        bool hashed;
        ChartState expected;
    };
    const QString other = file("other.pdf", "%PDF-other", 99);
    const std::vector<Case> cases{
        {"untouched", {}, true, ChartState::Matches},
        {"one byte flipped",
         [](const QString& path) {
             QFile f(path);
             f.open(QIODevice::ReadWrite);
             f.seek(100);
             f.write("X");
         },
         true, ChartState::Changed},
        {"truncated", [](const QString& path) { QFile::resize(path, 50); }, true,
         ChartState::Changed},
        {"replaced by another chart",
         [&](const QString& path) {
             QFile::remove(path);
             QFile::copy(other, path);
         },
         true, ChartState::Changed},
        {"deleted", [](const QString& path) { QFile::remove(path); }, true, ChartState::Missing},
        {"never hashed (copied in)", {}, false, ChartState::NotHashed},
    };
    std::map<QString, ChartState> expected;
    for (size_t n = 0; n < cases.size(); ++n) {
        const QString path =
            file(QStringLiteral("c%1.pdf").arg(n), original, 1 + int(n), cases[n].hashed);
        if (cases[n].damage) {
            cases[n].damage(path);
        }
        expected[path] = cases[n].expected;
    }
    std::map<QString, ChartState> found;
    const auto summary =
        chartverification::verifyCharts(m_testbed->folder(), std::pair{1, int(cases.size())}, 3,
                                        [&](const chartverification::Finding& finding) {
                                            found[finding.filePath] = finding.state;
                                        });
    ASSERT_TRUE(summary) << m_index.lastError().toStdString();
    EXPECT_EQ(summary->charts, qint64(cases.size())); // patient 99 lies outside the range
    for (size_t n = 0; n < cases.size(); ++n) {
        SCOPED_TRACE(cases[n].name);
        const QString path = m_charts.filePath(QStringLiteral("c%1.pdf").arg(n));
        EXPECT_EQ(found.count(path) ? found[path] : ChartState::Matches, expected[path]);
    }
    EXPECT_EQ(summary->problems, qint64(cases.size()) - 1);
}

TEST_P(TrailTest, APipeInAChartsPlaceIsUnreadableAndALinkIsAChange) {
    const QString piped = file("piped.pdf", "%PDF-pipe", 1);
    const QString linked = file("linked.pdf", "%PDF-link", 1);
    ASSERT_TRUE(QFile::remove(piped));
    ASSERT_EQ(::mkfifo(QFile::encodeName(piped).constData(), 0600), 0);
    // The same bytes, but elsewhere: the link is not the archived file.
    QTemporaryDir outside;
    const QString copy = outside.filePath("copy.pdf");
    QFile(linked).copy(copy);
    ASSERT_TRUE(QFile::remove(linked));
    ASSERT_TRUE(QFile::link(copy, linked));
    ::alarm(60); // a reader blocked on the pipe would never return
    std::map<QString, ChartState> found;
    const auto summary = chartverification::verifyCharts(
        m_testbed->folder(), std::pair{1, 1}, 2, [&](const chartverification::Finding& finding) {
            found[finding.filePath] = finding.state;
        });
    ::alarm(0);
    ASSERT_TRUE(summary);
    EXPECT_EQ(found[piped], ChartState::Unreadable);
    EXPECT_EQ(found[linked], ChartState::Changed);
    EXPECT_EQ(chartverification::checkChart(piped, "x"), ChartState::Unreadable);
}

TEST_P(TrailTest, AVerificationWhoseHashesCannotBeReadEndsWithTheReason) {
    for (int n = 0; n < 40; ++n) {
        file(QStringLiteral("c%1.pdf").arg(n), QByteArray("%PDF-").append(QByteArray::number(n)),
             1);
    }
    IndexTestbed::Peer(*m_testbed).exec("DROP TABLE ChartHash");
    QString error;
    int reported = 0;
    const auto summary = chartverification::verifyCharts(
        m_testbed->folder(), std::nullopt, 4, [&](const auto&) { ++reported; }, {}, &error);
    EXPECT_FALSE(summary);
    EXPECT_FALSE(error.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Backends, TrailTest, ::testing::Values(Backend::Sqlite, Backend::Postgres),
                         backendParamName);

} // namespace
