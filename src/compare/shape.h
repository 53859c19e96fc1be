#pragma once

#include "compare/value.h"
#include "engine/sql_util.h"

#include <QList>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

namespace pelldrake::compare {

// What a column's values are, across the engines: the SQLite <-> PostgreSQL equivalence
// (INTEGER/int4/int8, REAL/float8, TEXT/text/varchar(n), BLOB/bytea, NUMERIC/numeric(p,s)).
enum class Family { Integer, Real, Numeric, Text, Blob, Bool, Date, Time, DateTime, ZonedDateTime, Any, Other };

struct Column {
    QString name;
    QString decl;     // as declared ("VARCHAR(40)", "character varying(40)")
    QString baseType; // the declaration without its size, lower case ("varchar")
    Family family = Family::Any;
    int size = -1;  // varchar(n) / char(n) length, numeric precision; -1 without one
    int scale = -1; // numeric scale
    bool notNull = false;
    QString defaultValue; // as the engine gives it, casts of a literal left off; empty for none
    QString collation;    // an explicit one other than byte order; empty otherwise
    int keyPosition = 0;  // 1-based place in the primary key; 0 when not in it
};

// One side of a comparison: the table as its catalog describes it.
struct Shape {
    engine::Dialect dialect = engine::Dialect::Sqlite;
    QString schema;
    QString name;
    QString from; // quoted "schema"."name"
    bool hasRowid = true; // SQLite: a rowid to take single copies of a row by
    QList<Column> columns;
    QStringList primaryKey;
    QList<QStringList> uniqueIndexes; // columns of each unique index but the primary key, in name order

    int column(const QString &name) const; // case-insensitive; -1 when absent
};

// Reads the table's shape. Throws EngineError when the table is not there.
Shape readShape(const QSqlDatabase &db, engine::Dialect dialect, const QString &table);

Family familyOf(engine::Dialect dialect, const QString &baseType);

// How the values of two columns of these families compare (dates and booleans by meaning).
Mode modeFor(Family left, Family right);

// One way the two tables' structure differs.
struct StructureDifference {
    QString column; // empty for the table as a whole
    QString aspect; // "column", "type", "size", "nullability", "default", "collation", "primary key", "unique index", "column order"
    QString left;   // how the left table has it ("(none)" when it has none)
    QString right;
    QString text() const;
};

enum class StructureScope {
    Everything,   // all of the above
    FieldSize,    // the sizes of the columns both have
    NamesAndSizes // which columns each has, and their sizes
};

QList<StructureDifference> compareStructure(const Shape &left, const Shape &right, StructureScope scope);

} // namespace pelldrake::compare
