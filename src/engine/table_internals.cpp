#include "engine/table_internals.h"

#include "engine/table_private.h"

namespace pelldrake::engine {

TableInternals::TableInternals(Table &table) : m_table(table) {}

void TableInternals::requireActive() const { m_table.d->requireActive(); }
const QueryShape &TableInternals::shape() const { return m_table.d->shape; }
Database *TableInternals::database() const { return m_table.d->statements.database(); }
TableStatements &TableInternals::statements() const { return m_table.d->statements; }
const FieldList &TableInternals::fields() const { return m_table.d->fields; }
bool TableInternals::canModify() const { return m_table.d->canModify; }

void TableInternals::scanStatement(QString &sql, QVariantList &binds) const
{
    requireActive();
    m_table.d->shape.scanStatement(sql, binds);
}

void TableInternals::finishEdit() const { m_table.d->checkBrowseMode(); }

void TableInternals::requireValues(const QVariantList &values, const QVector<bool> &set) const
{
    m_table.d->writer.requireValues(values, set, true);
}

QVariant TableInternals::bindable(int fieldIndex, const QVariant &value) const
{
    return m_table.d->writer.bindable(fieldIndex, value);
}

void TableInternals::recordsAdded(qint64 n) const
{
    qint64 &count = m_table.d->cursor.recordCount;
    if (count >= 0)
        count += n;
}

void TableInternals::recordCountUnknown() const { m_table.d->cursor.recordCount = -1; }

} // namespace pelldrake::engine
