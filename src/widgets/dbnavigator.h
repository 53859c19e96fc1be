#pragma once

#include <QKeySequence>
#include <QPointer>
#include <QWidget>
#include <array>

class QShortcut;
class QToolButton;

#include "engine/data_source.h"
#include "engine/table.h"

namespace pelldrake::engine {
class Table;
} // namespace pelldrake::engine

namespace pelldrake {

// The record navigator: ten buttons working on a data source's table, each
// enabled only when its command makes sense in the table's state.
class DBNavigator : public QWidget {
    Q_OBJECT
public:
    enum Button { First, Prior, Next, Last, Insert, Delete, Edit, Post, Cancel, Refresh };
    static constexpr int ButtonCount = 10;

    explicit DBNavigator(QWidget *parent = nullptr);

    void setDataSource(engine::DataSource *source);
    engine::DataSource *dataSource() const { return source_; }
    engine::Table *table() const;

    QToolButton *button(Button which) const { return buttons_[which]; }
    // Runs a button's command as a click does (the delete asks first).
    void click(Button which);
    // Asks "Delete record?" and deletes the current record on Yes.
    static bool deleteWithConfirmation(engine::Table &table);
    // The keys of the moving, posting and refreshing buttons (none for insert, delete and edit,
    // which the grid has its own keys for).
    static QKeySequence shortcut(Button which);
    // The keys work while the keyboard focus is inside `scope` (a pane), so each pane's keys
    // move its own table; the buttons' tips then name them.
    void setShortcutScope(QWidget *scope);

public slots:
    void updateButtons();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void attach();
    void layoutButtons();
    static void run(engine::Table *table, Button which);

    QPointer<engine::DataSource> source_;
    QPointer<engine::Table> table_;
    QList<QMetaObject::Connection> connections_;
    std::array<QToolButton *, ButtonCount> buttons_{};
    QList<QPointer<QShortcut>> shortcuts_; // children of the scope
};

} // namespace pelldrake
