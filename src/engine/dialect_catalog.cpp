#include "engine/dialect_catalog.h"

#include "engine/engine_error.h"
#include "engine/field.h"

#include <QRegularExpression>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <optional>

namespace pelldrake::engine {

namespace {

const QString kCannotList = QStringLiteral("Cannot read the table list");

QSqlQuery run(const QSqlDatabase &db, const QString &sql, const QVariantList &binds, const QString &context)
{
    return runQuery(db, sql, binds, context);
}

// Reads one identifier at `i`: "quoted" (a doubled quote is one) or plain up to the next dot.
std::optional<QString> identifier(const QString &s, qsizetype &i, bool &quoted)
{
    quoted = i < s.size() && s.at(i) == QLatin1Char('"');
    if (!quoted) {
        const qsizetype dot = s.indexOf(QLatin1Char('.'), i);
        const qsizetype end = dot < 0 ? s.size() : dot;
        const QString part = s.mid(i, end - i);
        i = end;
        return part.isEmpty() ? std::nullopt : std::optional<QString>(part);
    }
    QString part;
    for (++i; i < s.size(); ++i) {
        if (s.at(i) == QLatin1Char('"')) {
            if (i + 1 < s.size() && s.at(i + 1) == QLatin1Char('"')) {
                part += QLatin1Char('"');
                ++i;
                continue;
            }
            ++i;
            return part;
        }
        part += s.at(i);
    }
    return std::nullopt; // unterminated
}

struct EntryName {
    QString schema; // empty: the literal name
    QString table;
};

// The readings of a table list entry, the schema-qualified one first.
QList<EntryName> readings(const QString &entry)
{
    QList<EntryName> out;
    qsizetype i = 0;
    bool firstQuoted = false;
    const auto first = identifier(entry, i, firstQuoted);
    if (first && i == entry.size()) {
        out << EntryName{QString(), *first};
        return out;
    }
    if (first && i < entry.size() && entry.at(i) == QLatin1Char('.')) {
        ++i;
        qsizetype j = i;
        bool quoted = false;
        if (j < entry.size() && entry.at(j) == QLatin1Char('"')) {
            const auto table = identifier(entry, j, quoted);
            if (table && j == entry.size())
                out << EntryName{*first, *table};
        } else if (j < entry.size()) {
            out << EntryName{*first, entry.mid(j)}; // the rest, dots and all
        }
    }
    if (!firstQuoted)
        out << EntryName{QString(), entry};
    return out;
}

// SQLite collation and direction of each column of an index; refused for expressions.
void sqliteIndexes(const QSqlDatabase &db, TableCatalog &c)
{
    QSqlQuery qq = run(db, QStringLiteral("SELECT name, \"unique\", origin FROM pragma_index_list(?, ?)"),
                       {c.name, c.schema}, QStringLiteral("Cannot read the indexes"));
    QList<IndexDef> list;
    while (qq.next()) {
        IndexDef d;
        d.name = qq.value(0).toString();
        d.unique = qq.value(1).toInt() != 0;
        d.primary = qq.value(2).toString() == QLatin1String("pk");
        list << d;
    }
    for (IndexDef &d : list) {
        QSqlQuery ii = run(db, QStringLiteral("SELECT name, \"desc\", coll, cid FROM pragma_index_xinfo(?, ?) "
                                              "WHERE key ORDER BY seqno"),
                           {d.name, c.schema}, QStringLiteral("Cannot read the indexes"));
        QStringList cols;
        QStringList terms;
        bool expression = false;
        while (ii.next()) {
            if (ii.value(0).isNull() || ii.value(3).toInt() < 0) {
                expression = true;
                continue;
            }
            const QString col = ii.value(0).toString();
            cols << col;
            static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
            QString coll = ii.value(2).toString();
            if (!plain.match(coll).hasMatch())
                coll = quoteIdent(coll);
            terms << QStringLiteral("%1 COLLATE %2%3").arg(quoteIdent(col), coll,
                                                          ii.value(1).toInt() ? QStringLiteral(" DESC") : QString());
        }
        if (expression) {
            c.refused.insert(d.name, QStringLiteral("Index '%1' orders by an expression; the rows cannot be shown in its order.").arg(d.name));
        } else if (!cols.isEmpty()) {
            d.fields = cols.join(QLatin1Char(';'));
            c.indexes << d;
            c.orderBy.insert(d.name, terms);
        }
    }
}

void postgresIndexes(const QSqlDatabase &db, const QString &oid, TableCatalog &c)
{
    QSqlQuery qq = run(db, QStringLiteral(
                           "SELECT ic.relname, ix.indisprimary, ix.indisunique AND ix.indpred IS NULL, "
                           "a.attname, (ix.indoption[k.ord - 1] & 1) <> 0, (ix.indoption[k.ord - 1] & 2) <> 0, "
                           "CASE WHEN ix.indcollation[k.ord - 1] <> 0 AND ix.indcollation[k.ord - 1] <> a.attcollation "
                           "THEN pg_catalog.quote_ident(cn.nspname) || '.' || pg_catalog.quote_ident(co.collname) END "
                           "FROM pg_catalog.pg_index ix "
                           "JOIN pg_catalog.pg_class ic ON ic.oid = ix.indexrelid "
                           "CROSS JOIN LATERAL unnest(CAST(ix.indkey AS int2[])) WITH ORDINALITY AS k(attnum, ord) "
                           "LEFT JOIN pg_catalog.pg_attribute a ON a.attrelid = ix.indrelid AND a.attnum = k.attnum "
                           "LEFT JOIN pg_catalog.pg_collation co ON co.oid = ix.indcollation[k.ord - 1] "
                           "LEFT JOIN pg_catalog.pg_namespace cn ON cn.oid = co.collnamespace "
                           "WHERE ix.indrelid = CAST(? AS oid) AND k.ord <= ix.indnkeyatts "
                           "ORDER BY ic.relname, k.ord"),
                       {oid}, QStringLiteral("Cannot read the indexes"));
    QList<IndexDef> list;
    QHash<QString, QStringList> terms;
    while (qq.next()) {
        const QString iname = qq.value(0).toString();
        if (list.isEmpty() || list.last().name != iname) {
            IndexDef d;
            d.name = iname;
            d.primary = qq.value(1).toBool();
            d.unique = qq.value(2).toBool();
            list << d;
        }
        if (qq.value(3).isNull()) {
            c.refused.insert(iname, QStringLiteral("Index '%1' orders by an expression; the rows cannot be shown in its order.").arg(iname));
            continue;
        }
        IndexDef &d = list.last();
        if (!d.fields.isEmpty())
            d.fields += QLatin1Char(';');
        d.fields += qq.value(3).toString();
        const bool desc = qq.value(4).toBool();
        const bool nullsFirst = qq.value(5).toBool();
        QString term = quoteIdent(qq.value(3).toString());
        if (!qq.value(6).isNull())
            term += QLatin1String(" COLLATE ") + qq.value(6).toString();
        term += desc ? QLatin1String(" DESC") : QLatin1String(" ASC");
        term += nullsFirst ? QLatin1String(" NULLS FIRST") : QLatin1String(" NULLS LAST");
        terms[iname] << term;
    }
    for (const IndexDef &d : list) {
        if (c.refused.contains(d.name))
            continue;
        c.indexes << d;
        c.orderBy.insert(d.name, terms.value(d.name));
    }
}

void sortIndexes(QList<IndexDef> &indexes)
{
    std::stable_sort(indexes.begin(), indexes.end(), [](const IndexDef &a, const IndexDef &b) {
        if (a.primary != b.primary)
            return a.primary;
        return a.name.compare(b.name, Qt::CaseInsensitive) < 0;
    });
}

void readSqlite(const QSqlDatabase &db, const QString &entry, TableCatalog &c)
{
    QStringList schemas;
    {
        QSqlQuery qq = run(db, QStringLiteral("SELECT name FROM pragma_database_list"), {},
                           QStringLiteral("Cannot read the database list"));
        while (qq.next())
            schemas << qq.value(0).toString();
    }
    auto lookup = [&](const QString &sch, const QString &tbl) -> bool {
        QSqlQuery qq = run(db, QStringLiteral("SELECT name, sql FROM %1.sqlite_master WHERE type = 'table' "
                                              "AND name = ? COLLATE NOCASE")
                                   .arg(quoteIdent(sch)),
                           {tbl}, kCannotList);
        if (!qq.next())
            return false;
        c.schema = sch;
        c.name = qq.value(0).toString();
        static const QRegularExpression wr(QStringLiteral("WITHOUT\\s+ROWID\\s*;?\\s*$"),
                                           QRegularExpression::CaseInsensitiveOption);
        c.withoutRowid = wr.match(qq.value(1).toString().trimmed()).hasMatch();
        return true;
    };
    bool found = false;
    for (const EntryName &n : readings(entry)) {
        if (n.schema.isEmpty()) {
            found = lookup(QStringLiteral("main"), n.table);
        } else {
            for (const QString &s : schemas)
                if (!found && s.compare(n.schema, Qt::CaseInsensitive) == 0)
                    found = lookup(s, n.table);
        }
        if (found)
            break;
    }
    if (!found)
        throw EngineError(QStringLiteral("Table '%1' does not exist.").arg(entry));

    QSqlQuery qq = run(db, QStringLiteral("SELECT name, type, \"notnull\", dflt_value, pk "
                                          "FROM pragma_table_info(?, ?) ORDER BY cid"),
                       {c.name, c.schema}, QStringLiteral("Cannot read the fields"));
    while (qq.next()) {
        ColumnInfo col;
        col.name = qq.value(0).toString();
        col.decl = qq.value(1).toString();
        col.notNull = qq.value(2).toInt() != 0;
        col.hasDefault = !qq.value(3).isNull();
        col.pk = qq.value(4).toInt();
        c.columns << col;
    }
    sqliteIndexes(db, c);
}

void readPostgres(const QSqlDatabase &db, const QString &entry, TableCatalog &c)
{
    const QString base = QStringLiteral(
        "SELECT c.oid, n.nspname, c.relname FROM pg_catalog.pg_class c "
        "JOIN pg_catalog.pg_namespace n ON n.oid = c.relnamespace "
        "WHERE c.relkind IN ('r', 'p', 'm') ");
    QString oid;
    auto lookup = [&](const QString &sch, const QString &tbl) {
        QSqlQuery qq = sch.isEmpty()
            ? run(db, base + QStringLiteral("AND c.relname = CAST(? AS text) AND pg_catalog.pg_table_is_visible(c.oid)"),
                  {tbl}, kCannotList)
            : run(db, base + QStringLiteral("AND c.relname = CAST(? AS text) AND n.nspname = CAST(? AS text)"),
                  {tbl, sch}, kCannotList);
        if (!qq.next())
            return false;
        oid = qq.value(0).toString();
        c.schema = qq.value(1).toString();
        c.name = qq.value(2).toString();
        return true;
    };
    bool found = false;
    for (const EntryName &n : readings(entry)) {
        found = lookup(n.schema, n.table)
            || ((n.schema != n.schema.toLower() || n.table != n.table.toLower())
                && lookup(n.schema.toLower(), n.table.toLower()));
        if (found)
            break;
    }
    if (!found)
        throw EngineError(QStringLiteral("Table '%1' does not exist.").arg(entry));

    QSqlQuery qq = run(db, QStringLiteral(
                           "SELECT a.attname, pg_catalog.format_type(a.atttypid, a.atttypmod), "
                           "a.attnotnull, a.atthasdef OR a.attidentity <> '', "
                           "a.attgenerated <> '' OR a.attidentity = 'a', "
                           // json, xml, point, ... have no ordinary equality: no default btree class.
                           "EXISTS (SELECT 1 FROM pg_catalog.pg_opclass oc "
                           "JOIN pg_catalog.pg_am am ON am.oid = oc.opcmethod "
                           "WHERE am.amname = 'btree' AND oc.opcdefault AND oc.opcintype = "
                           "CASE WHEN a.atttypid = CAST('varchar' AS regtype) THEN CAST('text' AS regtype) "
                           "ELSE a.atttypid END) "
                           "FROM pg_catalog.pg_attribute a WHERE a.attrelid = CAST(? AS oid) "
                           "AND a.attnum > 0 AND NOT a.attisdropped ORDER BY a.attnum"),
                       {oid}, QStringLiteral("Cannot read the fields"));
    while (qq.next()) {
        ColumnInfo col;
        col.name = qq.value(0).toString();
        col.decl = qq.value(1).toString();
        col.notNull = qq.value(2).toBool();
        col.hasDefault = qq.value(3).toBool();
        col.readOnly = qq.value(4).toBool();
        col.hasEquality = qq.value(5).toBool();
        c.columns << col;
    }
    postgresIndexes(db, oid, c);
}

bool isIntegerKey(int type)
{
    return type == ftInteger || type == ftSmallint || type == ftLargeint || type == ftAutoInc;
}

} // namespace

int TableCatalog::column(const QString &n) const
{
    for (int i = 0; i < columns.size(); ++i)
        if (columns.at(i).name.compare(n, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

TableCatalog readCatalog(const QSqlDatabase &db, Dialect dialect, const QString &entry)
{
    TableCatalog c;
    if (dialect == Dialect::Sqlite)
        readSqlite(db, entry, c);
    else
        readPostgres(db, entry, c);
    for (ColumnInfo &col : c.columns)
        col.type = typeFromDeclaration(col.decl).type;
    sortIndexes(c.indexes);
    c.from = quoteIdent(c.schema) + QLatin1Char('.') + quoteIdent(c.name);
    return c;
}

KeyChoice chooseKey(Dialect dialect, const TableCatalog &c)
{
    KeyChoice k;
    auto useColumns = [&](const QStringList &names) {
        for (const QString &n : names) {
            const int fi = c.column(n);
            const ColumnInfo &col = c.columns.at(fi);
            k.exprs << readExpression(dialect, col);
            k.orderExprs << quoteIdent(col.name);
            k.match << quoteIdent(col.name) + QLatin1String(" = ?");
            k.fieldNames << col.name;
            k.fieldIndex << fi;
        }
        k.intKey = k.fieldIndex.size() == 1 && isIntegerKey(c.columns.at(k.fieldIndex.first()).type);
    };

    if (dialect == Dialect::Sqlite) {
        QList<QPair<int, QString>> ordered;
        for (const ColumnInfo &col : c.columns)
            if (col.pk > 0)
                ordered << qMakePair(col.pk, col.name);
        std::sort(ordered.begin(), ordered.end());
        QStringList pk;
        for (const auto &p : ordered)
            pk << p.second;
        if (c.withoutRowid) {
            useColumns(pk);
            return k;
        }
        // The rowid is reachable under one of its three names unless columns took them all.
        QString rowid;
        for (const char *cand : {"rowid", "_rowid_", "oid"})
            if (c.column(QLatin1String(cand)) < 0) {
                rowid = QLatin1String(cand);
                break;
            }
        if (pk.size() == 1) {
            const int fi = c.column(pk.first());
            if (c.columns.at(fi).decl.trimmed().compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0) {
                k.rowidAliasField = fi;
                if (rowid.isEmpty())
                    rowid = quoteIdent(c.columns.at(fi).name);
            }
        }
        if (rowid.isEmpty())
            throw EngineError(QStringLiteral("Table '%1' has no usable row identity.").arg(c.name));
        k.intKey = true;
        k.exprs << rowid;
        k.orderExprs << rowid;
        k.match << rowid + QLatin1String(" = ?");
        k.fieldIndex << k.rowidAliasField;
        if (k.rowidAliasField >= 0)
            k.fieldNames << c.columns.at(k.rowidAliasField).name;
        return k;
    }

    for (const IndexDef &d : c.indexes)
        if (d.primary) {
            useColumns(d.fields.split(QLatin1Char(';')));
            return k;
        }
    for (const IndexDef &d : c.indexes) {
        if (!d.unique)
            continue;
        const QStringList names = d.fields.split(QLatin1Char(';'));
        bool allNotNull = true;
        for (const QString &n : names)
            allNotNull = allNotNull && c.columns.at(c.column(n)).notNull;
        if (allNotNull) {
            useColumns(names);
            return k;
        }
    }
    // No key: browse by physical row address, never modify (an update could hit the wrong row
    // once the address moves).
    k.intKey = false;
    k.modifiable = false;
    k.exprs << QStringLiteral("CAST(ctid AS text)");
    k.orderExprs << rowAddressOrder();
    k.match << QStringLiteral("ctid = CAST(? AS tid)");
    k.fieldIndex << -1;
    return k;
}

QString readExpression(Dialect dialect, const ColumnInfo &column)
{
    const QString col = quoteIdent(column.name);
    if (dialect == Dialect::Postgres
        && (column.type == ftDate || column.type == ftTime || column.type == ftDateTime || column.type == ftTimeStamp))
        return QStringLiteral("CAST(%1 AS text)").arg(col);
    return col;
}

QString oldValueMatch(Dialect dialect, const ColumnInfo &column)
{
    const QString col = quoteIdent(column.name);
    if (dialect == Dialect::Sqlite)
        return col + QLatin1String(" IS ?");
    if (!column.hasEquality)
        return QStringLiteral("CAST(%1 AS text) IS NOT DISTINCT FROM ?").arg(col);
    return col + QLatin1String(" IS NOT DISTINCT FROM ?");
}

} // namespace pelldrake::engine
