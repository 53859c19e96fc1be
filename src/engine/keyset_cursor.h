#pragma once

// The table cursor's position among the row identities of the current filter and order: the
// keys read so far (page by page, as moves and views need them), the current position, and the
// record count once it was asked for.

#include "engine/key_store.h"
#include "engine/keyset.h"

#include <QSqlQuery>

namespace pelldrake::engine {

class QueryShape;
class RowSource;
class TableStatements;

class KeysetCursor {
public:
    KeysetCursor(const QueryShape &shape, TableStatements &statements, RowSource &rows)
        : m_shape(shape), m_statements(statements), m_rows(rows)
    {
    }

    Keyset keys;
    KeyStore keyStore; // composite keys of the current keyset
    qint64 recordCount = -1; // counted when first asked for, then kept up to date
    int pos = -1;
    bool bof = true;
    bool eof = true;

    int loaded() const { return keys.loaded(); }
    // The whole table's rows; counts them (one count(*)) the first time.
    qint64 records();
    // Rows of the current filter and order as far as they are known: an unfiltered table knows
    // its count (counted the first time); a filtered view knows the rows read so far.
    int rowTotal();
    // Whether rowTotal() answers without asking the database.
    bool rowTotalKnown() const;

    // The key of a row read by `qq` from column `first` on: the integer itself, or the number
    // given to a composite key.
    qint64 readKey(const QSqlQuery &qq, int first = 0);
    // Binds the key of `id` from bind position `index` on, exactly as it was read.
    void bindKey(QSqlQuery &qq, int &index, qint64 id);

    // Reads the next `limit` keys (all the rest when limit <= 0) after those read so far; with
    // `withValues` their rows too, so the first screen costs one query.
    void readKeys(qint64 limit, bool withValues = false);
    void loadAllKeys() { readKeys(0); }
    // Reads keys until position p is known (or the keyset is complete); whether it is.
    bool ensureKey(int p);
    void readMoreKeys(); // one more page for a view that scrolled to the last row it knows
    // The keyset of the current filter and order read anew (its first page, with the rows).
    void rebuild();
    void reset(); // closed: no keys, no position, no count
    // The position of a record of the keyset read before (its id then, and its key values for a
    // composite key); -1 when it is gone.
    int locate(qint64 id, const QVariantList &keyValues);
    // Makes row p current, clamped to the rows there are; -1 when there are none.
    void moveTo(int p);
    // The row at p left the view (deleted, or no longer passing the filter).
    void removeAt(int p);

    // The rows the filter lets through, counted by the database (the whole table unfiltered).
    qint64 countShownRows();

private:
    qint64 countRows();
    QString firstBlocksBound(qint64 limit, const QStringList &conditions, const QVariantList &binds);

    const QueryShape &m_shape;
    TableStatements &m_statements;
    RowSource &m_rows;
};

} // namespace pelldrake::engine
