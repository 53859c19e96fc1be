#pragma once

// The database a table cursor reads and writes, and the statements it prepared there (page
// reads, posts, deletes), each prepared once and reused while the table's structure holds.

#include "engine/database.h"
#include "engine/engine_error.h"
#include "engine/session.h" // database.h uses the session inline
#include "engine/sql_util.h"

#include <QPointer>
#include <QSqlQuery>
#include <memory>
#include <string>
#include <unordered_map>

namespace pelldrake::engine {

class TableStatements {
public:
    void attach(Database *db, Dialect dialect);
    void detach();
    void clear() { m_statements.clear(); } // prepared again when next used

    Database *database() const { return m_db; }
    QSqlDatabase sql() const { return m_db->sqlDatabase(); }
    // The statement of that text, prepared the first time.
    QSqlQuery &statement(const QString &sqlText, const QString &context);
    // Runs a statement once.
    QSqlQuery exec(const QString &sqlText, const QVariantList &binds, const QString &context);
    void plain(const QString &text); // no binds, no rows; throws its error

    // Inside a batch transaction a failed statement aborts a PostgreSQL transaction, and with it
    // every record posted earlier in the batch. A savepoint per write keeps those.
    template <class F>
    void guardedWrite(F &&write);

private:
    QPointer<Database> m_db;
    Dialect m_dialect = Dialect::Sqlite;
    std::unordered_map<std::string, std::unique_ptr<QSqlQuery>> m_statements;
};

template <class F>
void TableStatements::guardedWrite(F &&write)
{
    const bool savepoint = m_dialect == Dialect::Postgres && m_db->inTransaction();
    if (savepoint)
        plain(QStringLiteral("SAVEPOINT pelldrake_write"));
    try {
        write();
    } catch (...) {
        if (savepoint) {
            try {
                plain(QStringLiteral("ROLLBACK TO SAVEPOINT pelldrake_write"));
            } catch (const EngineError &) {
                // The original error is the one worth reporting.
            }
        }
        throw;
    }
    if (savepoint)
        plain(QStringLiteral("RELEASE SAVEPOINT pelldrake_write"));
}

} // namespace pelldrake::engine
