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
//
// A view that shows a screenful at a time asks for a window (setWindow): the model's rows are
// then the records from windowTop(), at most the window's size, so the view's own bookkeeping
// stays the same for ten rows or ten million; recordRows() is the whole number. Such a view
// shows its first rows before an unfiltered table is counted; the count follows from the event
// loop (recordRowsChanged()).
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
    // False when the table refuses the value or the edit; lastError() then says why (empty for
    // a false that refused nothing: no such cell, a closed table).
    bool setData(const QModelIndex &index, const QVariant &value, int role = Qt::EditRole) override;
    QString lastError() const { return m_lastError; }
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

    // The window: `size` rows from record row `top`; size 0 = every row (the default).
    void setWindow(int top, int size);
    int windowTop() const { return m_top; }
    int windowSize() const { return m_windowSize; }
    // Records of the current filter and order as far as they are known (with the insert row).
    int recordRows() const { return m_total; }
    // False while more records may follow: a filter's further pages, or a count still to come.
    bool recordRowsFinal() const;
    // The model row showing a record row, or -1 outside the window.
    int rowOfRecord(int record) const;
    // Reads on (pages of a filter, or the count) until the record row is known or there is no more.
    void fetchRowsUpTo(int record);

    int fieldIndexForColumn(int column) const { return column; }
    int columnForField(int fieldIndex) const { return fieldIndex; }

signals:
    // The table's current record moved to this row (the grid follows it).
    void currentRowChanged(int row); // a record row
    // recordRows() changed.
    void recordRowsChanged();
    // The table's record left edit or insert mode (posted, cancelled or closed).
    void editingEnded();

private:
    void attach();
    // Brings the model in line with the table. Only opening, closing or another table reset the
    // model; everything else is told as rows inserted / removed and values changed, so a view
    // keeps its column order and position.
    void sync(bool force = false);
    int tableRows() const;
    int windowRows() const;
    void resizeWindow(); // tells the views about the window's rows
    void growRows();     // takes in rows the table has read or counted since
    void countRows();
    QPointer<DataSource> m_source;
    QPointer<Table> m_table;
    QList<QMetaObject::Connection> m_connections;
    bool m_pending = false;
    bool m_active = false;
    int m_rows = 0;  // window rows, as the views were last told
    int m_total = 0; // record rows known
    int m_top = 0;
    int m_windowSize = 0;
    mutable bool m_countScheduled = false;
    int m_cols = 0;
    QString m_lastError; // why the last setData() returned false
};

} // namespace pelldrake::engine
