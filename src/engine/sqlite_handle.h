#pragma once

#include <QSqlDatabase>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;

namespace pelldrake::engine {

// Statements run on a SQLite connection's own handle where Qt SQL's cost per value counts (the
// row scan, the bulk appender). Only ever on the connection Qt SQL opened, inside its
// transactions.

// The SQLite handle under a Qt SQL connection; nullptr when the driver does not give one of the
// SQLite library this program uses.
sqlite3 *sqliteHandle(const QSqlDatabase &db);

// Binds `value` at `position` (1-based) as the Qt SQLite driver binds it. False, with nothing
// bound, for a kind of value left to the driver.
bool bindLikeDriver(sqlite3_stmt *stmt, int position, const QVariant &value);

// sqlite3_errmsg() of the connection.
QString sqliteError(sqlite3 *connection);

} // namespace pelldrake::engine
