#pragma once

#include <QStringList>

namespace pelldrake::engine {
class Database;
class Table;
} // namespace pelldrake::engine

namespace pelldrake {

// The lines of a pane's table information listing: the connection, the table,
// its indexes, then fourteen lines per field. `aliasText` is the pane's alias
// text and `tableName` the table list's selected entry, both shown as given.
QStringList tableInfoLines(const engine::Database &database, const QString &aliasText,
                           const QString &tableName, engine::Table &table);

} // namespace pelldrake
