#pragma once

// The state behind Table: the parts that do the work, each with one job, and what ties them to
// the table's settings, its database and its signals. The dialect differences live in
// dialect_catalog.*.

#include "engine/edit_buffer.h"
#include "engine/keyset_cursor.h"
#include "engine/query_shape.h"
#include "engine/row_source.h"
#include "engine/row_writer.h"
#include "engine/session.h"
#include "engine/table.h"
#include "engine/table_statements.h"

#include <QPointer>
#include <functional>

namespace pelldrake::engine {

struct Table::Private {
    Table *q;
    QPointer<Session> session;
    QString alias;

    QueryShape shape;
    TableStatements statements;
    RowSource rows{shape, statements, cursor};
    KeysetCursor cursor{shape, statements, rows};
    EditBuffer edit;
    FieldList fields;
    RowWriter writer{shape, statements, cursor, rows, edit, fields};

    QMetaObject::Connection dbConnection;
    QMetaObject::Connection rollbackConnection;
    bool active = false;
    bool canModify = false;
    QString readOnlyReason; // empty when canModify
    int lock = 0;

    Private(Table *t, Session *s);

    void requireActive() const;
    void buildFields();
    void setState(TableState s);
    void leaveEdit(); // the edit buffer goes, the table browses
    void checkBrowseMode();
    void beginInsert(bool atEnd);
    void refilter(const std::function<void()> &undo);
    void afterRollback();
};

} // namespace pelldrake::engine
