#pragma once

#include <QTreeWidget>

namespace pelldrake::engine {
class Table;
}

namespace pelldrake {

class DBGrid;

// A two-column list of the current record: one row per field with its name
// and its value as edit text. Hidden until loaded; a double-click hides it.
// A value shows no more than fits a screen (a memo its first line); Ctrl+C on
// it copies the whole value, which the item keeps in kWholeValueRole.
class TlynEDIDBFieldView : public QTreeWidget {
    Q_OBJECT
public:
    static constexpr int kWholeValueRole = Qt::UserRole;

    explicit TlynEDIDBFieldView(QWidget *parent = nullptr);

    // Fills the view from the table's fields (an empty or closed table gives
    // headers and one row per field present) and places it in its parent's
    // coordinates.
    void LoadGridFromTable(engine::Table *table, int left, int top, int height);
    // Fills the view from the grid's table and places it over the grid; does
    // nothing at all when the table has no records.
    void LoadGrid(DBGrid *grid);

signals:
    // Double-clicked anywhere on the view (rows, empty area, headers).
    void dblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void load(engine::Table *table, int left, int top, int height);
};

namespace lynEDIDBFieldView {
// Records the class on the EDI palette page with the other EDI components.
void Register();
}

} // namespace pelldrake
