#include "engine/data_source.h"

#include "engine/table.h"

namespace pelldrake::engine {

void DataSource::setDataSet(Table *table)
{
    if (m_table == table)
        return;
    m_table = table;
    emit dataSetChanged();
}

Table *DataSource::dataSet() const
{
    return m_table;
}

} // namespace pelldrake::engine
