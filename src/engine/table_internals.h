#pragma once

// What the engine's bulk readers and writers (RowScan, TableAppender) may use of a table beyond
// its public interface: its query, its database and statements, its fields and the checks a
// post makes. Nothing of its cursor or edit buffer.

#include "engine/row_writer.h"

#include <QString>
#include <QVariantList>
#include <QVector>

namespace pelldrake::engine {

class Database;
class QueryShape;
class Table;
class TableStatements;

class TableInternals {
public:
    explicit TableInternals(Table &table);

    void requireActive() const; // throws when the table is closed
    const QueryShape &shape() const;
    Database *database() const;
    TableStatements &statements() const;
    const FieldList &fields() const;
    bool canModify() const;

    // The statement reading all fields of the rows in the table's filter and order.
    void scanStatement(QString &sql, QVariantList &binds) const;

    // Posts or cancels the table's own edit first, as append() does.
    void finishEdit() const;
    // The checks and conversions of Table::post().
    void requireValues(const QVariantList &values, const QVector<bool> &set) const;
    QVariant bindable(int fieldIndex, const QVariant &value) const;
    // Records written around the cursor: the count follows (when it is known).
    void recordsAdded(qint64 n) const;
    void recordCountUnknown() const; // counted again when next asked for

private:
    Table &m_table;
};

} // namespace pelldrake::engine
