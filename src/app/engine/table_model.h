#pragma once

#include <QAbstractTableModel>
#include <QPointer>

namespace pelldrake::engine {

class DataSource;
class Table;

// Adapts a DataSource's table to Qt's item views: one column per field (header = field name),
// one row per record of the current filter and order. Values are fetched lazily through the
// table's page cache, so only the rows a view paints are read. A filtered table's rows are
// known page by page: the model offers them with canFetchMore()/fetchMore() as a view scrolls
// to its end, and grows when the cursor moves past them (next, last). Edits write through the table
// (edit + setAsString); the record is posted when the cursor moves on or post() is called.
class TableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TableModel(QObject *parent = nullptr);
    void setDataSource(DataSource *source);
    DataSource *dataSource() const { return m_source; }
    Table *table() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

    int fieldIndexForColumn(int column) const { return column; }
    int columnForField(int fieldIndex) const { return fieldIndex; }

signals:
    // The table's current record moved to this row (the grid follows it).
    void currentRowChanged(int row);
    // The table's record left edit or insert mode (posted, cancelled or closed).
    void editingEnded();

private:
    void attach();
    // Brings the model in line with the table. Only opening, closing or another table reset the
    // model; everything else is told as rows inserted / removed and values changed, so a view
    // keeps its column order and position.
    void sync(bool force = false);
    int tableRows() const;
    void growRows(); // tells the views about rows the table has read since
    QPointer<DataSource> m_source;
    QPointer<Table> m_table;
    QList<QMetaObject::Connection> m_connections;
    bool m_pending = false;
    bool m_active = false;
    int m_rows = 0; // as the views were last told
    int m_cols = 0;
};

} // namespace pelldrake::engine
