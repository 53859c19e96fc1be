#pragma once

#include "engine/sql_util.h"
#include "engine/table.h"

#include <QHash>
#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>

namespace pelldrake::engine {

// Everything the table cursor needs to know about one table, read from the catalog of its
// dialect: the one place where SQLite and PostgreSQL differ in naming, types, indexes and keys.
struct ColumnInfo {
    QString name;
    QString decl;
    int type = 0;            // field type code
    bool notNull = false;
    bool hasDefault = false;
    bool readOnly = false;
    int pk = 0;              // SQLite: position in the primary key, 0 when not part of it
    bool hasEquality = true; // false for json, xml, point...: compared through their text
};

struct TableCatalog {
    QString schema;
    QString name;
    QString from; // quoted "schema"."name"
    bool withoutRowid = false;
    QList<ColumnInfo> columns;
    QList<IndexDef> indexes;             // the indexes offered for ordering, primary first
    QHash<QString, QStringList> orderBy; // index name -> its ORDER BY terms (direction, collation)
    QHash<QString, QString> refused;     // index name -> why it cannot order the rows
    int column(const QString &name) const; // case-insensitive; -1 when absent
};

// Resolves a table list entry: "schema.table" (either part may be double-quoted) names that table
// in that schema when both exist; otherwise the entry is the table's literal name.
TableCatalog readCatalog(const QSqlDatabase &db, Dialect dialect, const QString &entry);

// The row identity of a table: the SQLite rowid (or the key of a WITHOUT ROWID table); on
// PostgreSQL the primary key, else a unique index over NOT NULL columns, else the physical row
// address (read-only then).
struct KeyChoice {
    bool intKey = true;      // one integer: ids are the key values themselves
    QStringList exprs;       // select the key parts
    QStringList orderExprs;  // order by the key parts
    QStringList match;       // "<expr> = ?" per part
    QStringList fieldNames;  // the key's columns (empty for rowid / ctid)
    QVector<int> fieldIndex; // column per part, -1 for rowid / ctid
    int rowidAliasField = -1; // SQLite INTEGER PRIMARY KEY column
    bool modifiable = true;
};
KeyChoice chooseKey(Dialect dialect, const TableCatalog &catalog); // throws when there is none

// The order of a PostgreSQL table without a key, by physical row address. Not the bare name
// "ctid": ORDER BY takes a bare name for the output column first, and the select list's
// CAST(ctid AS text) is named ctid too, which would order the addresses as text.
inline QString rowAddressOrder() { return QStringLiteral("ctid::tid"); }

// How a column is selected: PostgreSQL dates and times as their text, so no fraction digit and
// no offset is lost on the way (the driver keeps milliseconds only).
QString readExpression(Dialect dialect, const ColumnInfo &column);
// "<column> IS <value>" without equality surprises: null-safe, and through the text form for
// types that have no equality operator.
QString oldValueMatch(Dialect dialect, const ColumnInfo &column);

} // namespace pelldrake::engine
