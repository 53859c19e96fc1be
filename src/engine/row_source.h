#pragma once

// The row values of the table cursor: read by key in pages (a range of close integer keys, else
// a list of keys) into the row cache, as rows are asked for.

#include "engine/row_cache.h"

#include <QSqlQuery>
#include <QVariantList>
#include <vector>

namespace pelldrake::engine {

class KeysetCursor;
class QueryShape;
class TableStatements;

class RowSource {
public:
    RowSource(const QueryShape &shape, TableStatements &statements, KeysetCursor &cursor)
        : m_shape(shape), m_statements(statements), m_cursor(cursor)
    {
    }

    RowCache cache;

    // The values of row p of the keyset (reads its page when it is not cached). The reference
    // stays valid until the next read.
    const QVariantList &row(int p);
    void refetchOne(qint64 id); // the row of that key read again
    void clear();
    // The field values of a row read by `qq`, from column `offset` on.
    QVariantList readRow(const QSqlQuery &qq, int offset) const;

private:
    QString fetchSql(int n) const;
    void storeRows(QSqlQuery &qq, bool toWindow);
    bool fetchRange(const std::vector<qint64> &want, bool &filteredRange);
    void fetchList(const std::vector<qint64> &want);
    void fetch(std::vector<qint64> want, bool backwards);

    const QueryShape &m_shape;
    TableStatements &m_statements;
    KeysetCursor &m_cursor;
    int m_lastAccess = -1;
};

} // namespace pelldrake::engine
