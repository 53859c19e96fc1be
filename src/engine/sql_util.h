#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>

namespace pelldrake::engine {

enum class Dialect { Sqlite, Postgres };

// Double-quoted identifier; embedded quotes doubled. Valid in SQLite and PostgreSQL.
QString quoteIdent(const QString &name);
// The driver's text of an error, without Qt's decoration when the server gave one.
QString errorText(const QSqlError &error);
// Prepares or throws EngineError("<context>: <server message>").
void prepareOrThrow(QSqlQuery &query, const QString &sql, const QString &context);
void execOrThrow(QSqlQuery &query, const QString &context);
// After next() returned false: throws the error that ended the rows, if one did. SQLite commits
// a write in autocommit at the step after its RETURNING rows, and reports a busy or failed
// commit (the write rolled back) only there.
void checkLastStep(const QSqlQuery &query, const QString &context);
// Executes `sql` with positional binds; returns the query positioned before the first row.
QSqlQuery runQuery(const QSqlDatabase &db, const QString &sql, const QVariantList &binds,
                   const QString &context);

} // namespace pelldrake::engine
