#pragma once

#include <QPointer>
#include <QStringList>
#include <QTableView>

namespace pelldrake::engine {
class DataSource;
class Table;
class TableModel;
} // namespace pelldrake::engine

namespace pelldrake {

// The data grid: a table view over a data source's table. The view's current
// row and the table's cursor follow each other; columns can be moved and are
// reported in display order. Only the rows on screen are ever asked for: the
// model holds a window of about a screenful of records and the vertical scroll
// bar counts records, so opening, filtering and scrolling cost the same for
// any number of rows.
class DBGrid : public QTableView {
    Q_OBJECT
public:
    explicit DBGrid(QWidget *parent = nullptr);
    ~DBGrid() override;

    void setDataSource(engine::DataSource *source);
    // A click on a column's title: sorted by its field ascending, descending, then no longer.
    void cycleSort(int logicalColumn);
    engine::DataSource *dataSource() const;
    engine::Table *table() const;
    engine::TableModel *tableModel() const { return model_; }

    // Columns in display order: their field names, and the field index of the
    // column shown at a display position.
    QStringList columnFieldNames() const;
    int fieldIndexAt(int displayPosition) const;
    int columnCount() const;
    // Moves the column of a field to a display position; false when the grid
    // has no such field.
    bool moveColumn(const QString &fieldName, int displayPosition);
    // Back to the table's own column order.
    void resetColumnOrder();
    // Records of the current filter and order as the grid knows them, and the
    // one shown in the top row.
    int recordRows() const;
    int topRecord() const;
    // The cell of a record row, scrolled into view; invalid when there is no such record.
    QModelIndex recordIndex(int record, int column);
    // The record row of the current cell; -1 when it is not in the window.
    int currentRecordRow() const;
    void scrollTo(const QModelIndex &index, ScrollHint hint = EnsureVisible) override;
    // The field name of the selected column (empty when none).
    QString selectedFieldName() const;

    // Ends an open cell editor: its text goes into the record (commit) or is
    // dropped. Anything that posts, cancels or closes the table runs this
    // first, since menus and the navigator's buttons take no focus from the
    // editor and so would never see what was typed.
    // False when the field refused the typed text: the editor then stays open
    // with it (the refusal has been shown).
    bool finishEditing(bool commit);
    // The same for the grid whose cell editor has the keyboard focus, when
    // that grid shows the given table.
    static bool finishEditingOf(const engine::Table *table, bool commit);
    // Why the last value typed into a cell was refused; empty when it was taken.
    QString refusal() const { return refusal_; }
    using QTableView::edit;

signals:
    // A cell was clicked; the field of its column.
    void cellClick(const QString &fieldName);
    // The selected column changed; the field of the column that was left.
    void colExit(const QString &fieldName);

protected:
    bool edit(const QModelIndex &index, EditTrigger trigger, QEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void commitData(QWidget *editor) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    void showSortIndicator();
    // Brings a record row into view and makes it the grid's current row.
    void followTable(int record, int preferredColumn = -1);
    int rowHeight() const;
    int fullRows() const; // rows the viewport shows whole
    void setTopRecord(int top);
    void syncScrollBar();
    void ensureRecordVisible(int record, ScrollHint hint);
    // Puts the view's current index on the table's record, or none when the
    // record is outside the window.
    void placeCurrent(int preferredColumn);
    QString fieldNameOfColumn(int logicalColumn) const;
    // Each column as wide as its field's values need (capped), or its title.
    void sizeColumnsToFields();
    // Writes the editor's text into the record; false (and the editor kept)
    // when the field refuses it.
    bool commitEditor(QWidget *editor);

    engine::TableModel *model_ = nullptr;
    bool following_ = false;
    int modelChanging_ = 0; // rows are being inserted or removed
    QString refusal_;       // why the last commit was refused
    int columnBeforeReset_ = -1;
    int currentColumn_ = -1;      // kept while the current record is scrolled out of the window
    bool shifting_ = false;       // the window is moving
    bool settingScroll_ = false;  // the grid sets its scroll bar
    bool inGeometry_ = false;
};

} // namespace pelldrake
