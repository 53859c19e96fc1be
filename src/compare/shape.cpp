#include "compare/shape.h"

#include "engine/dialect_catalog.h"
#include "engine/engine_error.h"

#include <QRegularExpression>
#include <QSqlQuery>

#include <algorithm>

namespace pelldrake::compare {

using engine::Dialect;

namespace {

const QString kContext = QStringLiteral("Cannot read the table's structure");

// "VARCHAR(40)" -> varchar, 40; "numeric(10,2)" -> numeric, 10, 2; "timestamp(3) with time
// zone" -> "timestamp with time zone", 3.
void splitDecl(Column &c)
{
    static const QRegularExpression sized(QStringLiteral("\\(\\s*(\\d+)\\s*(?:,\\s*(-?\\d+)\\s*)?\\)"));
    QString base = c.decl.toLower();
    const QRegularExpressionMatch m = sized.match(base);
    if (m.hasMatch()) {
        c.size = m.captured(1).toInt();
        if (m.lastCapturedIndex() >= 2 && !m.captured(2).isEmpty())
            c.scale = m.captured(2).toInt();
        base.remove(m.capturedStart(), m.capturedLength());
    }
    c.baseType = base.simplified();
}

// Strips the cast PostgreSQL writes after a literal default ('abc'::text) and reads a default
// of NULL as none, so defaults compare by what they give.
QString plainDefault(const QString &text)
{
    static const QRegularExpression cast(QStringLiteral("^\\(*('(?:[^']|'')*'|-?[0-9.]+)\\)*::[a-z_ .\"]+(\\(\\d+(,\\d+)?\\))?(\\[\\])?$"),
                                         QRegularExpression::CaseInsensitiveOption);
    QString t = text.trimmed();
    const QRegularExpressionMatch m = cast.match(t);
    if (m.hasMatch())
        t = m.captured(1);
    if (t.compare(QLatin1String("NULL"), Qt::CaseInsensitive) == 0 || t.startsWith(QLatin1String("NULL::"), Qt::CaseInsensitive))
        return {};
    return t;
}

// The column definitions of a CREATE TABLE text, split at the commas between them.
QStringList columnDefinitions(const QString &sql)
{
    QStringList defs;
    const qsizetype open = sql.indexOf(QLatin1Char('('));
    if (open < 0)
        return defs;
    int depth = 0;
    QChar quote;
    QString current;
    for (qsizetype i = open + 1; i < sql.size(); ++i) {
        const QChar c = sql.at(i);
        if (!quote.isNull()) {
            if (c == quote || (quote == QLatin1Char('[') && c == QLatin1Char(']')))
                quote = QChar();
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('[')) {
            quote = c;
        } else if (c == QLatin1Char('(')) {
            ++depth;
        } else if (c == QLatin1Char(')')) {
            if (depth-- == 0) {
                defs << current.trimmed();
                break;
            }
        } else if (c == QLatin1Char(',') && depth == 0) {
            defs << current.trimmed();
            current.clear();
            continue;
        }
        current += c;
    }
    return defs;
}

QString definitionName(const QString &def)
{
    if (def.isEmpty())
        return {};
    const QChar q = def.at(0);
    if (q == QLatin1Char('"') || q == QLatin1Char('`') || q == QLatin1Char('[')) {
        const QChar close = q == QLatin1Char('[') ? QLatin1Char(']') : q;
        const qsizetype end = def.indexOf(close, 1);
        return def.mid(1, end - 1);
    }
    return def.section(QRegularExpression(QStringLiteral("\\s")), 0, 0);
}

void readSqliteDetails(const QSqlDatabase &db, Shape &s)
{
    QSqlQuery info = engine::runQuery(db, QStringLiteral("SELECT name, dflt_value FROM pragma_table_info(?, ?) ORDER BY cid"),
                                      {s.name, s.schema}, kContext);
    while (info.next()) {
        const int c = s.column(info.value(0).toString());
        if (c >= 0 && !info.value(1).isNull())
            s.columns[c].defaultValue = plainDefault(info.value(1).toString());
    }
    QSqlQuery create = engine::runQuery(db, QStringLiteral("SELECT sql FROM %1.sqlite_master WHERE type = 'table' AND name = ?")
                                                .arg(engine::quoteIdent(s.schema)),
                                        {s.name}, kContext);
    if (!create.next())
        return;
    static const QRegularExpression collate(QStringLiteral("\\bCOLLATE\\s+[\"'`\\[]?(\\w+)"), QRegularExpression::CaseInsensitiveOption);
    for (const QString &def : columnDefinitions(create.value(0).toString())) {
        const int c = s.column(definitionName(def));
        const QRegularExpressionMatch m = collate.match(def);
        if (c >= 0 && m.hasMatch() && m.captured(1).compare(QLatin1String("BINARY"), Qt::CaseInsensitive) != 0)
            s.columns[c].collation = m.captured(1).toUpper();
    }
}

void readPostgresDetails(const QSqlDatabase &db, Shape &s)
{
    QSqlQuery q = engine::runQuery(
        db,
        QStringLiteral("SELECT a.attname, pg_catalog.pg_get_expr(d.adbin, d.adrelid), "
                       "CASE WHEN a.attcollation <> t.typcollation THEN co.collname END "
                       "FROM pg_catalog.pg_attribute a "
                       "JOIN pg_catalog.pg_type t ON t.oid = a.atttypid "
                       "LEFT JOIN pg_catalog.pg_attrdef d ON d.adrelid = a.attrelid AND d.adnum = a.attnum "
                       "LEFT JOIN pg_catalog.pg_collation co ON co.oid = a.attcollation "
                       "WHERE a.attrelid = CAST(? AS regclass) AND a.attnum > 0 AND NOT a.attisdropped"),
        {s.from}, kContext);
    while (q.next()) {
        const int c = s.column(q.value(0).toString());
        if (c < 0)
            continue;
        s.columns[c].defaultValue = plainDefault(q.value(1).toString());
        const QString coll = q.value(2).toString();
        // "C" and "POSIX" order by the bytes, as SQLite's BINARY does.
        if (!coll.isEmpty() && coll != QLatin1String("C") && coll != QLatin1String("POSIX"))
            s.columns[c].collation = coll;
    }
}

QString noneOr(const QString &text) { return text.isEmpty() ? QStringLiteral("(none)") : text; }

QString sizeText(const Column &c)
{
    if (c.size < 0)
        return QStringLiteral("(none)");
    return c.scale < 0 ? QString::number(c.size) : QStringLiteral("%1,%2").arg(c.size).arg(c.scale);
}

bool sameNames(const QStringList &a, const QStringList &b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i)
        if (a[i].compare(b[i], Qt::CaseInsensitive) != 0)
            return false;
    return true;
}

QString listText(const QStringList &names) { return names.isEmpty() ? QStringLiteral("(none)") : QStringLiteral("(%1)").arg(names.join(QStringLiteral(", "))); }

bool sameDefault(const Column &a, const Column &b)
{
    if (a.defaultValue == b.defaultValue)
        return true;
    bool okA = false, okB = false;
    const double x = a.defaultValue.toDouble(&okA), y = b.defaultValue.toDouble(&okB);
    if (okA && okB)
        return x == y;
    // Booleans: PostgreSQL says true/false, SQLite mostly 1/0.
    auto boolText = [](const QString &t) {
        const QString l = t.toLower();
        return l == QLatin1String("true") || l == QLatin1String("1") || l == QLatin1String("'t'") ? 1
            : (l == QLatin1String("false") || l == QLatin1String("0") || l == QLatin1String("'f'") ? 0 : -1);
    };
    return (a.family == Family::Bool || b.family == Family::Bool) && boolText(a.defaultValue) >= 0
        && boolText(a.defaultValue) == boolText(b.defaultValue);
}

bool sameType(Dialect dl, const Column &l, Dialect dr, const Column &r)
{
    if (dl == dr)
        return l.baseType == r.baseType || (l.family == r.family && l.family != Family::Other && l.family != Family::Any
                                             && dl == Dialect::Sqlite && l.baseType.isEmpty() == r.baseType.isEmpty());
    return l.family == r.family && l.family != Family::Other;
}

bool sizeMatters(const Column &c)
{
    return c.family == Family::Text || c.family == Family::Numeric || c.family == Family::Integer || c.family == Family::Real;
}

} // namespace

int Shape::column(const QString &n) const
{
    for (qsizetype i = 0; i < columns.size(); ++i)
        if (columns[i].name.compare(n, Qt::CaseInsensitive) == 0)
            return int(i);
    return -1;
}

Family familyOf(Dialect dialect, const QString &baseType)
{
    const QString t = baseType.toLower();
    if (dialect == Dialect::Postgres) {
        static const QStringList ints{QStringLiteral("integer"), QStringLiteral("smallint"), QStringLiteral("bigint"),
                                      QStringLiteral("int2"), QStringLiteral("int4"), QStringLiteral("int8"), QStringLiteral("oid")};
        static const QStringList texts{QStringLiteral("text"), QStringLiteral("character varying"), QStringLiteral("character"),
                                       QStringLiteral("varchar"), QStringLiteral("bpchar"), QStringLiteral("name"), QStringLiteral("char")};
        if (ints.contains(t))
            return Family::Integer;
        if (t == QLatin1String("real") || t == QLatin1String("double precision") || t.startsWith(QLatin1String("float")))
            return Family::Real;
        if (t == QLatin1String("numeric") || t == QLatin1String("decimal"))
            return Family::Numeric;
        if (texts.contains(t))
            return Family::Text;
        if (t == QLatin1String("bytea"))
            return Family::Blob;
        if (t == QLatin1String("boolean"))
            return Family::Bool;
        if (t == QLatin1String("date"))
            return Family::Date;
        if (t.startsWith(QLatin1String("timestamp")))
            return t.contains(QLatin1String("with time zone")) && !t.contains(QLatin1String("without")) ? Family::ZonedDateTime : Family::DateTime;
        if (t.startsWith(QLatin1String("time")))
            return Family::Time;
        return Family::Other;
    }
    // SQLite: the affinity rules, with the date, time and boolean names the engine knows besides.
    if (t.isEmpty())
        return Family::Any;
    if (t.contains(QLatin1String("bool")))
        return Family::Bool;
    if (t.contains(QLatin1String("int")))
        return Family::Integer;
    if (t.contains(QLatin1String("datetime")) || t.contains(QLatin1String("timestamp")))
        return t.contains(QLatin1String("tz")) || t.contains(QLatin1String("with time zone")) ? Family::ZonedDateTime : Family::DateTime;
    if (t.contains(QLatin1String("date")))
        return Family::Date;
    if (t.contains(QLatin1String("time")))
        return Family::Time;
    if (t.contains(QLatin1String("char")) || t.contains(QLatin1String("clob")) || t.contains(QLatin1String("text")))
        return Family::Text;
    if (t.contains(QLatin1String("blob")))
        return Family::Blob;
    if (t.contains(QLatin1String("real")) || t.contains(QLatin1String("floa")) || t.contains(QLatin1String("doub")))
        return Family::Real;
    return Family::Numeric;
}

Mode modeFor(Family left, Family right)
{
    if (left == Family::Bool || right == Family::Bool)
        return Mode::Bool;
    auto temporal = [](Family f) {
        return f == Family::Date || f == Family::Time || f == Family::DateTime || f == Family::ZonedDateTime;
    };
    if (temporal(left) || temporal(right))
        return Mode::DateTime;
    auto number = [](Family f) { return f == Family::Integer || f == Family::Real || f == Family::Numeric; };
    auto text = [](Family f) { return f == Family::Text || f == Family::Other; };
    return (text(left) && number(right)) || (number(left) && text(right)) ? Mode::AsText : Mode::Typed;
}

Shape readShape(const QSqlDatabase &db, Dialect dialect, const QString &table)
{
    const engine::TableCatalog catalog = engine::readCatalog(db, dialect, table);
    Shape s;
    s.dialect = dialect;
    s.schema = catalog.schema;
    s.name = catalog.name;
    s.from = catalog.from.isEmpty() ? engine::quoteIdent(catalog.schema) + QLatin1Char('.') + engine::quoteIdent(catalog.name)
                                    : catalog.from;
    s.hasRowid = dialect == Dialect::Sqlite && !catalog.withoutRowid;
    for (const engine::ColumnInfo &info : catalog.columns) {
        Column c;
        c.name = info.name;
        c.decl = info.decl;
        c.notNull = info.notNull;
        c.keyPosition = dialect == Dialect::Sqlite ? info.pk : 0;
        splitDecl(c);
        c.family = familyOf(dialect, c.baseType);
        s.columns << c;
    }
    QList<engine::IndexDef> uniques;
    for (const engine::IndexDef &index : catalog.indexes) {
        const QStringList fields = index.fields.split(QLatin1Char(';'), Qt::SkipEmptyParts);
        if (index.primary) {
            s.primaryKey = fields;
            for (qsizetype i = 0; i < fields.size(); ++i)
                if (const int c = s.column(fields[i]); c >= 0)
                    s.columns[c].keyPosition = int(i + 1);
        } else if (index.unique) {
            s.uniqueIndexes << fields;
        }
    }
    if (s.primaryKey.isEmpty()) { // an INTEGER PRIMARY KEY has no index of its own in SQLite
        QList<std::pair<int, QString>> parts;
        for (const Column &c : s.columns)
            if (c.keyPosition > 0)
                parts << std::pair{c.keyPosition, c.name};
        std::sort(parts.begin(), parts.end());
        for (const auto &p : parts)
            s.primaryKey << p.second;
    }
    // SQLite takes NULL in a key column but for a rowid's alias (INTEGER PRIMARY KEY) and the key
    // of a table WITHOUT ROWID; those are as NOT NULL as a PostgreSQL key.
    if (dialect == Dialect::Sqlite)
        for (Column &c : s.columns)
            if (c.keyPosition > 0 && (catalog.withoutRowid || (s.primaryKey.size() == 1 && c.decl.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0)))
                c.notNull = true;
    if (dialect == Dialect::Sqlite)
        readSqliteDetails(db, s);
    else
        readPostgresDetails(db, s);
    return s;
}

QString StructureDifference::text() const
{
    const QString what = column.isEmpty() ? aspect : QStringLiteral("column \"%1\": %2").arg(column, aspect);
    return QStringLiteral("%1: %2 | %3").arg(what, left, right);
}

QList<StructureDifference> compareStructure(const Shape &left, const Shape &right, StructureScope scope)
{
    QList<StructureDifference> out;
    const bool everything = scope == StructureScope::Everything;
    if (scope != StructureScope::FieldSize) {
        for (const Column &c : left.columns)
            if (right.column(c.name) < 0)
                out << StructureDifference{c.name, QStringLiteral("column"), c.decl.isEmpty() ? QStringLiteral("(no type)") : c.decl, QStringLiteral("(none)")};
        for (const Column &c : right.columns)
            if (left.column(c.name) < 0)
                out << StructureDifference{c.name, QStringLiteral("column"), QStringLiteral("(none)"), c.decl.isEmpty() ? QStringLiteral("(no type)") : c.decl};
    }
    QStringList leftOrder, rightOrder;
    for (const Column &l : left.columns) {
        const int ri = right.column(l.name);
        if (ri < 0)
            continue;
        const Column &r = right.columns[ri];
        leftOrder << l.name;
        if (everything && !sameType(left.dialect, l, right.dialect, r))
            out << StructureDifference{l.name, QStringLiteral("type"), noneOr(l.decl), noneOr(r.decl)};
        else if ((sizeMatters(l) || sizeMatters(r)) && (l.size != r.size || l.scale != r.scale)
                 && !(l.family == Family::Integer && r.family == Family::Integer && left.dialect != right.dialect))
            out << StructureDifference{l.name, QStringLiteral("size"), sizeText(l), sizeText(r)};
        if (!everything)
            continue;
        if (l.notNull != r.notNull)
            out << StructureDifference{l.name, QStringLiteral("nullability"), l.notNull ? QStringLiteral("NOT NULL") : QStringLiteral("NULL"),
                                       r.notNull ? QStringLiteral("NOT NULL") : QStringLiteral("NULL")};
        if (!sameDefault(l, r))
            out << StructureDifference{l.name, QStringLiteral("default"), noneOr(l.defaultValue), noneOr(r.defaultValue)};
        if (l.collation.compare(r.collation, Qt::CaseInsensitive) != 0)
            out << StructureDifference{l.name, QStringLiteral("collation"), noneOr(l.collation), noneOr(r.collation)};
    }
    if (!everything)
        return out;
    for (const Column &r : right.columns)
        if (left.column(r.name) >= 0)
            rightOrder << r.name;
    if (!sameNames(leftOrder, rightOrder))
        out << StructureDifference{QString(), QStringLiteral("column order"), leftOrder.join(QStringLiteral(", ")), rightOrder.join(QStringLiteral(", "))};
    if (!sameNames(left.primaryKey, right.primaryKey))
        out << StructureDifference{QString(), QStringLiteral("primary key"), listText(left.primaryKey), listText(right.primaryKey)};
    auto hasIndex = [](const QList<QStringList> &list, const QStringList &cols) {
        return std::any_of(list.begin(), list.end(), [&](const QStringList &i) { return sameNames(i, cols); });
    };
    for (const QStringList &u : left.uniqueIndexes)
        if (!hasIndex(right.uniqueIndexes, u))
            out << StructureDifference{QString(), QStringLiteral("unique index"), listText(u), QStringLiteral("(none)")};
    for (const QStringList &u : right.uniqueIndexes)
        if (!hasIndex(left.uniqueIndexes, u))
            out << StructureDifference{QString(), QStringLiteral("unique index"), QStringLiteral("(none)"), listText(u)};
    return out;
}

} // namespace pelldrake::compare
