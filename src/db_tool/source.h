#pragma once

#include "engine/alias_registry.h"

#include <QString>
#include <QStringList>

#include <memory>

class QTemporaryDir;

namespace pelldrake::engine {
class Database;
class Session;
class Table;
} // namespace pelldrake::engine

namespace pelldrake::db::tool {

// What a SOURCE argument names:
//   an alias of the alias registry      Sales
//   a SQLite database file              sqlite:data/orders.sqlite
//   a PostgreSQL database               postgresql://clerk@db.example:5432/sales
// A URI never carries a password (it would show in the process list and the shell's history):
// libpq takes it from PGPASSWORD or ~/.pgpass, as the connection gives it none.
struct Source {
    QString text;           // as given
    engine::AliasDef alias; // for a file or a URI, an alias made for the run
    // The alias part of the dump file's name: the alias's name as the registry spells it, the
    // file's name without its last suffix, or the URI's database name.
    QString aliasPart;
    bool fromRegistry = false;
};

// Throws ToolError: a usage error for a text that is no SOURCE (a URI with a password), an input
// error for a source that is not there (an unknown alias, a missing database file).
Source resolveSource(const QString &text, const QString &registryPath);

// A connection to a source, in a session of its own. An alias uses the registry it came from;
// a file or a URI a registry of one alias, made for the run and removed afterwards.
class Connection {
public:
    // Throws ToolError (Failed) when the database refuses the connection.
    Connection(const Source &source, const QString &registryPath);
    ~Connection();
    Connection(const Connection &) = delete;
    Connection &operator=(const Connection &) = delete;

    engine::Session &session() { return *session_; }
    QString aliasName() const; // the name the session knows the alias by
    const Source &source() const { return source_; }

    // The table names as the pane's table list shows them (`extensions`: schema-qualified).
    QStringList tableNames(bool extensions);
    // The table, open. Throws ToolError: an input error when the source has no such table, a
    // failure when it has one that does not open.
    std::unique_ptr<engine::Table> openTable(const QString &name);

private:
    bool hasTable(const QString &name);

    Source source_;
    std::unique_ptr<QTemporaryDir> registryDir_;
    std::unique_ptr<engine::Session> session_;
    std::unique_ptr<engine::Database> database_;
};

} // namespace pelldrake::db::tool
