#pragma once

#include <QPointer>
#include <QStringList>
#include <QTableView>

class QAction;
class QLabel;

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
//
// A range of cells is selected with Shift (keys or click) or by dragging, Ctrl+A
// selects every record, Shift+Space widens the range to whole rows; it is kept
// in records, so it outlives the window's moves. Ctrl+C (or copyAction())
// copies it as tab-separated text, a header line of field names first when
// whole rows are copied. A table that cannot be modified says why in a line
// under the cells.
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

    // The selected range: record rows and display positions of columns, both inclusive.
    struct Range {
        int firstRecord = -1;
        int lastRecord = -1; // INT_MAX after selectAll(): to the last record, known or not
        int firstColumn = -1;
        int lastColumn = -1;
    };
    Range selectedRange() const;
    // Selects records and columns (display positions); the current cell stays where it is.
    void selectRange(int firstRecord, int lastRecord, int firstColumn, int lastColumn);
    void selectAll() override;
    // Whether the range covers every column: its copy starts with the field names.
    bool wholeRowsSelected() const;
    // The range as tab-separated text: each cell's whole text (a memo's every line), quoted as
    // spreadsheets read it when it holds a tab or line end or starts with a quote. At most
    // kMaxCopyRecords records or about kMaxCopyBytes; `records` is set to how many went in and
    // `complete` whether that is the whole range.
    QString selectionText(int *records = nullptr, bool *complete = nullptr);
    // Copies the range to the clipboard and says how much in the main window's status bar.
    void copySelection();
    QAction *copyAction() const { return copyAction_; }
    static constexpr int kMaxCopyRecords = 100000;
    static constexpr qsizetype kMaxCopyBytes = qsizetype(64) << 20;
    // The line under the cells naming why the table cannot be modified (hidden when it can).
    QString readOnlyNote() const;

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
    void mouseMoveEvent(QMouseEvent *event) override;
    // The view's own selection follows rows of the window, which show other records as it
    // moves: the grid selects from its range instead (syncSelection()).
    void setSelection(const QRect &rect, QItemSelectionModel::SelectionFlags command) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void updateGeometries() override;
    void scrollContentsBy(int dx, int dy) override;
    void commitData(QWidget *editor) override;
    void closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    void showSortIndicator();
    // The current cell moved to a record and display column: the range follows it, or grows
    // to it while Shift is held or the mouse drags.
    // `restart`: a plain click, which starts a range even on the cell already current.
    void noteCurrentCell(int record, int displayColumn, bool restart = false);
    void pressKey(QKeyEvent *event);     // the grid's own keys, then the view's
    void pressMouse(QMouseEvent *event); // a cell editor refusing its text keeps the cell
    // Shows the range's part that is in the window.
    void syncSelection();
    void showReadOnlyNote();
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
    // The range: from the anchor (where it started) to the extent (where it was grown to), in
    // records and display positions; and the cell last seen current.
    int anchorRecord_ = -1, anchorColumn_ = -1;
    int extentRecord_ = -1, extentColumn_ = -1;
    int currentRecord_ = -1, currentDisplayColumn_ = -1;
    bool extending_ = false; // Shift is held or the mouse drags: moves grow the range
    QAction *copyAction_ = nullptr;
    QLabel *readOnlyNote_ = nullptr;
};

} // namespace pelldrake
