// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the index: look-ups, counts and the cursors that page through rows.

#include "index/chartindex.h"

#include "index/chartindexschema.h"
#include "index/indexbackend.h"

#include <QSqlQuery>

using chartindex::Statement;

namespace {

QString selectedColumns() {
    QStringList columns{chartindex::identityColumn};
    for (const auto& field : chartindex::fields()) {
        columns << field.name;
    }
    return columns.join(QStringLiteral(", "));
}

/// The first text that sorts after every path that starts with \p prefix: its last character
/// raised by one. Paths below a folder are then one range of the path index.
QString prefixEnd(const QString& prefix) {
    QString end = prefix;
    end[end.size() - 1] = QChar(end.at(end.size() - 1).unicode() + 1);
    return end;
}

} // namespace

std::optional<bool> ChartIndex::containsPath(const QString& filePath) {
    if (!m_open) {
        fail(QStringLiteral("the chart index is not open"));
        return std::nullopt;
    }
    for (const QString& statement : m_backend->pathLookupStatements()) {
        // An index without the path index still answers, more slowly.
        if (auto found = run({statement, {filePath}})) {
            return found->next();
        }
    }
    return std::nullopt;
}

std::optional<qint64> ChartIndex::rowCount() {
    if (!m_open) {
        fail(QStringLiteral("the chart index is not open"));
        return std::nullopt;
    }
    return countRows(QString(), {});
}

IndexCursor ChartIndex::select(QString condition, QVariantList values) {
    if (!m_open) {
        return IndexCursor::failedWith(QStringLiteral("the chart index is not open"));
    }
    return IndexCursor(this, std::move(condition), std::move(values));
}

IndexCursor ChartIndex::searchKeywords(const Keywords& typed) {
    if (!m_open) {
        return IndexCursor::failedWith(QStringLiteral("the chart index is not open"));
    }
    QStringList conditions;
    QVariantList values;
    for (size_t n = 0; n < typed.size(); ++n) {
        if (typed[n].isEmpty()) {
            continue;
        }
        conditions << m_backend->likeCondition(chartindex::keyFieldNames().at(qsizetype(n)));
        values << m_backend->containsPattern(typed[n]);
    }
    if (conditions.isEmpty()) {
        return IndexCursor::failedWith(QStringLiteral("the keyword search has no text to find"));
    }
    return select(conditions.join(QStringLiteral(" AND ")), values);
}

IndexCursor ChartIndex::patientRows(int pidno) {
    return select(QStringLiteral("Pidno = ?"), {pidno});
}

IndexCursor ChartIndex::patientRange(int from, int to) {
    return select(QStringLiteral("Pidno >= ? AND Pidno <= ?"), {from, to});
}

IndexCursor ChartIndex::allRows() {
    return select(QString(), {});
}

bool ChartIndex::forEachPathBelow(const QString& folder,
                                  const std::function<bool(const QString&)>& visit) {
    if (!m_open) {
        fail(QStringLiteral("the chart index is not open"));
        return false;
    }
    const QString prefix = folder.endsWith(u'/') ? folder : folder + u'/';
    // Not paged by identity, which would sort the whole range for every page of a wide folder:
    // one statement in the order of the path index.
    auto paths = run({QStringLiteral("SELECT FilePath FROM %1 WHERE %2")
                          .arg(chartindex::tableName, m_backend->pathRangeCondition()),
                      {prefix, prefixEnd(prefix)}});
    if (!paths) {
        return false;
    }
    while (paths->next()) {
        if (!visit(paths->value(0).toString())) {
            break;
        }
    }
    return true;
}

std::optional<ChartIndex::StoredRow> ChartIndex::rowById(qint64 id) {
    m_lastError.clear();
    if (!m_open) {
        fail(QStringLiteral("the chart index is not open"));
        return std::nullopt;
    }
    auto found =
        run({QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                 .arg(selectedColumns(), chartindex::tableName, chartindex::identityColumn),
             {id}});
    if (!found || !found->next()) {
        return std::nullopt;
    }
    return storedRow(*found);
}

std::optional<QByteArray> ChartIndex::storedHash(const QString& filePath) {
    if (!m_open) {
        fail(QStringLiteral("the chart index is not open"));
        return std::nullopt;
    }
    auto found = run(
        {QStringLiteral("SELECT Sha256 FROM %1 WHERE FilePath = ?").arg(chartindex::hashTableName),
         {filePath}});
    if (!found) {
        return std::nullopt;
    }
    return found->next() ? found->value(0).toString().toLatin1() : QByteArray();
}

bool ChartIndex::fetchPage(const QString& condition, const QVariantList& values,
                           std::optional<qint64> after, int limit, std::deque<StoredRow>* page) {
    // Keyed on the identity rather than an offset: each page starts where the last ended,
    // however many rows came or went in between, and costs no more than the first.
    QStringList conditions;
    QVariantList bound = values;
    if (!condition.isEmpty()) {
        conditions << QStringLiteral("(%1)").arg(condition);
    }
    if (after) {
        conditions << QStringLiteral("%1 > ?").arg(chartindex::identityColumn);
        bound << *after;
    }
    bound << limit;
    const QString where = conditions.isEmpty()
                              ? QString()
                              : QStringLiteral("WHERE ") + conditions.join(QStringLiteral(" AND "));
    auto rows =
        run({QStringLiteral("SELECT %1 FROM %2 %3 ORDER BY %4 LIMIT ?")
                 .arg(selectedColumns(), chartindex::tableName, where, chartindex::identityColumn),
             bound});
    if (!rows) {
        return false;
    }
    while (rows->next()) {
        page->push_back(storedRow(*rows));
    }
    return true;
}

std::optional<qint64> ChartIndex::countRows(const QString& condition, const QVariantList& values) {
    const QString where = condition.isEmpty() ? QString() : QStringLiteral("WHERE ") + condition;
    auto rows = run(
        {QStringLiteral("SELECT COUNT(*) FROM %1 %2").arg(chartindex::tableName, where), values});
    if (!rows || !rows->next()) {
        return std::nullopt;
    }
    return rows->value(0).toLongLong();
}

IndexCursor::IndexCursor(ChartIndex* index, QString condition, QVariantList values)
    : m_index(index), m_condition(std::move(condition)), m_values(std::move(values)) {}

IndexCursor IndexCursor::failedWith(QString error) {
    IndexCursor cursor(nullptr, QString(), {});
    cursor.m_error = std::move(error);
    cursor.m_exhausted = true;
    return cursor;
}

std::optional<ChartIndex::StoredRow> IndexCursor::next() {
    if (m_page.empty() && !m_exhausted) {
        const int limit = m_after ? m_pageRows : FirstPageRows;
        if (!m_index->fetchPage(m_condition, m_values, m_after, limit, &m_page)) {
            m_error = m_index->lastError();
            m_exhausted = true;
        } else {
            m_exhausted = int(m_page.size()) < limit;
        }
    }
    if (m_page.empty()) {
        return std::nullopt;
    }
    ChartIndex::StoredRow row = std::move(m_page.front());
    m_page.pop_front();
    m_after = row.id;
    return row;
}

std::deque<ChartIndex::StoredRow> IndexCursor::takeBuffered() {
    std::deque<ChartIndex::StoredRow> rows;
    rows.swap(m_page);
    if (!rows.empty()) {
        m_after = rows.back().id;
    }
    return rows;
}

void IndexCursor::skipTo(qint64 id) {
    m_page.clear();
    m_after = id;
    m_exhausted = !m_index;
}

QString IndexCursor::programFolder() const {
    return m_index ? m_index->programFolder() : QString();
}

IndexCursor IndexCursor::continuedOn(ChartIndex& other) const {
    if (!m_index) {
        return failedWith(m_error);
    }
    IndexCursor cursor(&other, m_condition, m_values);
    cursor.m_after = m_page.empty() ? m_after : std::optional<qint64>(m_page.front().id - 1);
    cursor.m_pageRows = m_pageRows;
    cursor.m_exhausted = exhausted();
    return cursor;
}

std::optional<qint64> IndexCursor::count() {
    if (!m_index) {
        return std::nullopt; // a cursor that failed from the start keeps its first reason
    }
    auto counted = m_index->countRows(m_condition, m_values);
    if (!counted) {
        m_error = m_index->lastError();
    }
    return counted;
}
