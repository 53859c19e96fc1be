#pragma once

#include <QObject>
#include <QPointer>

namespace pelldrake::engine {

class Table;

// Links the data-aware controls (grid, navigator, memo) to one table.
class DataSource : public QObject {
    Q_OBJECT
public:
    explicit DataSource(QObject *parent = nullptr) : QObject(parent) {}
    void setDataSet(Table *table);
    Table *dataSet() const;

signals:
    void dataSetChanged();

private:
    QPointer<Table> m_table;
};

} // namespace pelldrake::engine
