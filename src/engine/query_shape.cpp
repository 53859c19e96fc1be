#include "engine/query_shape.h"

#include "engine/engine_error.h"
#include "engine/filter.h"

#include <algorithm>

namespace pelldrake::engine {

void QueryShape::open(const QSqlDatabase &db, Dialect d)
{
    dialect = d;
    m_textOrders.reset();
    catalog = readCatalog(db, dialect, tableName);
    if (catalog.columns.isEmpty())
        throw EngineError(QStringLiteral("Table '%1' has no fields.").arg(tableName));
    key = chooseKey(dialect, catalog);
}

void QueryShape::close()
{
    catalog = TableCatalog();
    m_textOrders.reset();
}

int QueryShape::columnIndex(const QString &name) const { return catalog.column(name); }

bool QueryShape::isIndexColumn(const QString &name) const
{
    for (const QString &f : indexFields)
        if (f.compare(name, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

int QueryShape::keyInRow() const
{
    return key.intKey && key.fieldIndex.size() == 1 ? key.fieldIndex.first() : -1;
}

QString QueryShape::selectList() const
{
    QStringList cols;
    if (keyInRow() < 0)
        cols = key.exprs;
    for (const ColumnInfo &c : catalog.columns)
        cols << readExpression(dialect, c);
    return cols.join(QLatin1String(", "));
}

void QueryShape::scanStatement(QString &sql, QVariantList &binds) const
{
    QStringList cols;
    for (const ColumnInfo &c : catalog.columns)
        cols << readExpression(dialect, c);
    sql = QStringLiteral("SELECT %1 FROM %2").arg(cols.join(QLatin1String(", ")), catalog.from);
    if (!where.isEmpty())
        sql += QLatin1String(" WHERE ") + where;
    sql += QLatin1String(" ORDER BY ") + orderBy;
    binds = whereBinds;
}

// A sort by one column: the column's own collation (as an index on it would order text), NULLs
// first ascending and last descending on both engines (PostgreSQL's defaults are the reverse).
QString QueryShape::sortTerm() const
{
    const int fi = columnIndex(sortField);
    if (fi < 0)
        throw EngineError(QStringLiteral("Field '%1' not found.").arg(sortField));
    return quoteIdent(catalog.columns.at(fi).name)
        + (sortDescending ? QLatin1String(" DESC NULLS LAST") : QLatin1String(" ASC NULLS FIRST"));
}

void QueryShape::applyOrder()
{
    indexFields.clear();
    QStringList parts;
    if (!sortField.isEmpty()) {
        parts << sortTerm();
        indexFields << catalog.columns.at(columnIndex(sortField)).name;
    } else if (!indexName.isEmpty()) {
        const IndexDef *def = nullptr;
        for (const IndexDef &d : catalog.indexes)
            if (d.name == indexName)
                def = &d;
        if (!def)
            for (const IndexDef &d : catalog.indexes)
                if (d.name.compare(indexName, Qt::CaseInsensitive) == 0)
                    def = &d;
        if (!def) {
            for (auto it = catalog.refused.cbegin(); it != catalog.refused.cend(); ++it)
                if (it.key().compare(indexName, Qt::CaseInsensitive) == 0)
                    throw EngineError(it.value());
            throw EngineError(QStringLiteral("Index '%1' does not exist for table '%2'.").arg(indexName, tableName));
        }
        indexFields = def->fields.split(QLatin1Char(';'));
        parts = catalog.orderBy.value(def->name);
        // The integer key's own ascending index: the plain key order, which pages by seeking.
        if (key.intKey && indexFields.size() == 1 && !key.fieldNames.isEmpty()
            && indexFields.first().compare(key.fieldNames.first(), Qt::CaseInsensitive) == 0
            && !parts.first().contains(QLatin1String(" DESC")))
            parts = QStringList{key.orderExprs.first()};
    }
    for (int i = 0; i < key.orderExprs.size(); ++i) {
        const QString name = i < key.fieldNames.size() ? key.fieldNames.at(i) : QString();
        const bool inIndex = !name.isEmpty()
            && std::any_of(indexFields.begin(), indexFields.end(),
                           [&](const QString &f) { return f.compare(name, Qt::CaseInsensitive) == 0; });
        if (!inIndex && !parts.contains(key.orderExprs.at(i)))
            parts << key.orderExprs.at(i);
    }
    orderBy = parts.join(QLatin1String(", "));
    seekOrder = key.intKey && key.orderExprs.size() == 1 && orderBy == key.orderExprs.first();
}

void QueryShape::applyFilter(const QSqlDatabase &db)
{
    where.clear();
    whereBinds.clear();
    if (!filtered || filterText.trimmed().isEmpty())
        return;
    const auto node = parseFilter(filterText);
    const CompiledFilter c = compileFilter(*node, dialect, [this](const QString &n) {
        const int fi = columnIndex(n);
        if (fi < 0)
            throw EngineError(QStringLiteral("Field '%1' not found.").arg(n));
        return quoteIdent(catalog.columns.at(fi).name);
    }, [this, &db](const QString &n) {
        if (dialect != Dialect::Postgres)
            return TextOrder::NotText;
        if (!m_textOrders)
            m_textOrders = postgresTextOrders(db, catalog.from);
        return m_textOrders->value(catalog.columns.at(columnIndex(n)).name, TextOrder::NotText);
    }, [this](const QString &n) { return catalog.columns.at(columnIndex(n)).type == ftBoolean; });
    // PostgreSQL text cannot hold a NUL character; say so instead of passing on the driver's
    // message about an invalid byte sequence.
    if (dialect == Dialect::Postgres)
        for (const QVariant &v : c.binds)
            if (v.metaType().id() == QMetaType::QString && v.toString().contains(QChar(0)))
                throw EngineError(QStringLiteral("A filter value cannot contain a NUL character."));
    where = c.sql;
    whereBinds = c.binds;
}

} // namespace pelldrake::engine
