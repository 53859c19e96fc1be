#pragma once

// Posts and deletes of the table cursor: each finds its row by the key exactly as it was read,
// and the keyset, the count and the cached row follow what was written.

#include "engine/field.h"

#include <QStringList>
#include <QVariantList>
#include <QVector>
#include <functional>
#include <memory>
#include <vector>

namespace pelldrake::engine {

class EditBuffer;
class KeysetCursor;
class QueryShape;
class RowSource;
class TableStatements;

using FieldList = std::vector<std::unique_ptr<Field>>;

class RowWriter {
public:
    RowWriter(const QueryShape &shape, TableStatements &statements, KeysetCursor &cursor, RowSource &rows,
              EditBuffer &edit, const FieldList &fields)
        : m_shape(shape), m_statements(statements), m_cursor(cursor), m_rows(rows), m_edit(edit), m_fields(fields)
    {
    }
    // Called once a post has written its record, before anything else can fail: the table
    // leaves edit or insert.
    void setLeaveEdit(std::function<void()> leave) { m_leaveEdit = std::move(leave); }

    // The edit buffer written to the current record, or as a new record.
    void postEdit();
    void postInsert();
    void deleteCurrent();

    // Throws "Field '...' must have a value." for a required field left null: inserting, unless
    // the database gives it a default; editing, when the user cleared it.
    void requireValues(const QVariantList &values, const QVector<bool> &set, bool inserting) const;
    // A field's value as the database stores it.
    QVariant bindable(int fieldIdx, const QVariant &v) const;

private:
    bool stillMatchesFilter(qint64 id);
    bool sameValue(int fieldIdx, const QVariant &a, const QVariant &b) const;
    bool movableIdentity() const;
    void matchAsRead(const QVariantList &read, const QVector<bool> &covered, QStringList &checks,
                     QVariantList &binds) const;
    void leaveEdit();

    const QueryShape &m_shape;
    TableStatements &m_statements;
    KeysetCursor &m_cursor;
    RowSource &m_rows;
    EditBuffer &m_edit;
    const FieldList &m_fields;
    std::function<void()> m_leaveEdit;
};

} // namespace pelldrake::engine
