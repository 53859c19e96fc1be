#pragma once

#include "compare/shape.h"
#include "compare/value.h"

#include <QList>
#include <QSqlDatabase>

#include <memory>
#include <vector>

namespace pelldrake::compare {

// Reads chosen columns of a table in the order the comparison merges by: the sort columns'
// own values in byte order (text), by value (numbers, dates), NULL first, the same on both
// engines and never a server's collation. Holds one row at a time:
// - SQLite: one statement on the connection's own handle (through Qt SQL where there is none).
// - PostgreSQL: a server cursor on a connection of the reader's own, fetched in batches, in a
//   read-only transaction that sees one snapshot of the table.
// A read cut short (a lost server) throws EngineError from next().
class RowReader {
public:
    virtual ~RowReader() = default;
    // `columns`: indexes into shape.columns, in the order row() gives them; `orderBy`: places
    // in `columns`. Throws EngineError when the statement fails.
    static std::unique_ptr<RowReader> open(const QSqlDatabase &db, const Shape &shape, const QList<int> &columns,
                                           const QList<int> &orderBy);
    virtual bool next() = 0;
    const std::vector<Value> &row() const { return row_; }
    std::vector<Value> &row() { return row_; }

protected:
    std::vector<Value> row_;
};

// count(*) of the table, for the progress.
qint64 countRows(const QSqlDatabase &db, const Shape &shape);

} // namespace pelldrake::compare
