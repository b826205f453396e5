// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// \file
/// What differs between the database engines that can hold the chart index. Everything above
/// this interface (ChartIndex, the creation of an index) is written once for both.

#include "index/indexlocation.h"

#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>

namespace chartindex {

class IndexBackend {
public:
    virtual ~IndexBackend() = default;

    /// Where the index is, for messages: the file path or the server's address.
    virtual QString describe() const = 0;
    /// The Qt SQL driver.
    virtual QString driverName() const = 0;

    /// Names the database and sets the connection options on \p db before it opens.
    /// \p createNew: SQLite may create the file (only creating an index asks for it).
    /// \p lockWaitMs: how long one statement may wait for another writer's lock.
    virtual void configure(QSqlDatabase& db, int lockWaitMs, bool createNew) const = 0;
    /// Per-connection settings run right after the connection opens. \p statementLimitMs (0:
    /// none) is how long the engine itself lets one statement run.
    virtual bool startSession(QSqlDatabase& db, int lockWaitMs, int statementLimitMs,
                              QString* error) const = 0;
    /// A function that ends the statement running on the open connection \p db, callable from
    /// any thread while the connection stays open. The statement then fails.
    virtual std::function<void()> interrupter(const QSqlDatabase& db) const = 0;

    /// The index table's fields: lower-case name -> upper-case declared type. Empty when there
    /// is no such table.
    bool readFields(QSqlDatabase& db, QHash<QString, QString>* fields, QString* error) const;
    /// Whether this connection may write every table a change of the index writes: add,
    /// change and delete rows, store hashes and append to the audit trail. A lock held by
    /// another writer at this moment is no reason to refuse.
    virtual bool checkWritable(QSqlDatabase& db, QString* error) const = 0;

    /// The statements that build an empty index, in order, inside one transaction where the
    /// engine allows it.
    virtual QStringList schemaStatements() const = 0;
    /// The statements that add the hash and audit tables (and the guard that refuses changes
    /// to audit rows) where they are missing; safe to run on an index that has them.
    virtual QStringList trailStatements() const = 0;
    /// Whether a fresh index is created under a temporary file name and renamed at the end
    /// (SQLite: a failed creation must never leave a half-made file under the real name).
    virtual bool createsFile() const { return false; }

    /// The statements that find a row by its exact path, tried in order until one runs: an
    /// older index may lack the path index that the first one names.
    virtual QStringList pathLookupStatements() const = 0;
    /// A condition, with one placeholder for the pattern, that holds when \p column matches a
    /// LIKE pattern as SQLite matches it: `%` and `_` wildcards, no escape character, ASCII
    /// letters alike in either case, every other character only itself.
    virtual QString likeCondition(const QString& column) const = 0;
    /// A condition with two placeholders, the first path that may match and the first text
    /// past them, that holds for the paths of that range as their bytes sort, served by an index.
    virtual QString pathRangeCondition() const = 0;
    /// \p typed as the value bound to likeCondition's placeholder for a "contains" search.
    virtual QString containsPattern(const QString& typed) const = 0;
    /// Starts a transaction that will write.
    virtual QString beginWriteStatement() const = 0;
    /// Run inside a write transaction before the audit trail's last line is read, so that two
    /// writers never chain a line to the same predecessor; empty when the write transaction
    /// itself already excludes other writers.
    virtual QString trailLockStatement() const { return {}; }
    /// The columns of \p table: lower-case name -> upper-case declared type; empty when there
    /// is no such table.
    virtual bool readColumns(QSqlDatabase& db, const QString& table,
                             QHash<QString, QString>* columns, QString* error) const = 0;
    /// The statements that add the table of the index's own facts (its schema version) where it
    /// is missing and record \p version.
    QStringList metaStatements(int version) const;
    /// Statements that give an existing chart table an identity that is never handed out
    /// again, keeping every row and its identity; empty when the table has one.
    virtual QStringList lastingIdentityStatements(QSqlDatabase& db) const = 0;
    /// Put between the column list and VALUES of an insert that gives the identity itself.
    virtual QString identityOverrideClause() const { return {}; }
    /// A condition with placeholders for Pidno, SubNo, FilePath and Key1 to Key4 that holds when
    /// the row holds exactly those values (an empty key and a missing one told apart as stored).
    virtual QString rowAsSeenCondition() const = 0;
    /// Statements that let a table's identity go on after the highest one given explicitly.
    virtual QStringList identityCatchUpStatements() const { return {}; }
    /// Statements run at the end of an upgrade of an older index to the current schema.
    virtual QStringList upgradeStatements() const { return {}; }

    /// Another writer holds a lock: the statement may succeed if run again.
    virtual bool isBusy(const QSqlError& error) const = 0;
    /// The connection to the server is gone: reconnecting may help.
    virtual bool isConnectionLost(const QSqlError& error) const = 0;
};

/// The audit table's columns after \p identity (empty: the engine's own row identity), with
/// time stamps of the engine's type \p timestamp.
QString auditTableColumns(const QString& identity, const QString& timestamp);
/// The columns that chain the audit trail's lines, added to a trail made before they existed:
/// name and declaration.
const QList<std::pair<QString, QString>>& auditChainColumns();

/// The backend for \p location.
std::unique_ptr<IndexBackend> makeBackend(const IndexLocation& location);

} // namespace chartindex
