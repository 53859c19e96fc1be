#include "engine/edit_buffer.h"

namespace pelldrake::engine {

void EditBuffer::startEdit(const QVariantList &row)
{
    values = row;
    original = row;
    changed = QVector<bool>(row.size(), false);
    modified = false;
}

void EditBuffer::startInsert(int fieldCount)
{
    values = QVariantList(fieldCount);
    changed = QVector<bool>(fieldCount, false);
    modified = false;
}

void EditBuffer::set(int fieldIndex, const QVariant &value)
{
    values[fieldIndex] = value;
    changed[fieldIndex] = true;
    modified = true;
}

void EditBuffer::drop()
{
    values.clear();
    modified = false;
}

} // namespace pelldrake::engine
