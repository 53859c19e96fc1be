#include "browser/dbgrid.h"

#include "app/application.h"
#include "app/engine/data_source.h"
#include "browser/dbnavigator.h"
#include "app/engine/table.h"
#include "app/engine/table_model.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QScrollBar>
#include <QStyledItemDelegate>

namespace pelldrake {

namespace {

// Writes an edited cell through the table. A value the field cannot take
// (letters in a number column) is reported here, inside the delegate: an
// error thrown through the view's commit would leave the view refusing every
// later commit. The record stays in edit mode with its other changes.
class GridDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override
    {
        try {
            QStyledItemDelegate::setModelData(editor, model, index);
        } catch (...) {
            Application::showException(std::current_exception());
        }
    }
};

} // namespace

DBGrid::DBGrid(QWidget *parent)
    : QTableView(parent)
    , model_(new engine::TableModel(this))
{
    setModel(model_);
    setItemDelegate(new GridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                    | QAbstractItemView::AnyKeyPressed);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setHighlightSections(false);
    // Fixed row heights: a million-row table must not be measured row by row.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setVisible(false);
    setWordWrap(false);

    connect(model_, &engine::TableModel::currentRowChanged, this, [this](int row) { followTable(row); });
    // The model is reset when the table's state or rows change; the grid keeps
    // its column and scroll position across it.
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        columnBeforeReset_ = currentIndex().column();
        scrollBeforeReset_ = {horizontalScrollBar()->value(), verticalScrollBar()->value()};
    });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        engine::Table *t = table();
        if (!t || !t->active())
            return;
        horizontalScrollBar()->setValue(scrollBeforeReset_.x());
        verticalScrollBar()->setValue(scrollBeforeReset_.y());
        followTable(t->currentRow(), columnBeforeReset_);
    });
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        emit cellClick(fieldNameOfColumn(index.column()));
    });
}

DBGrid::~DBGrid() = default;

void DBGrid::setDataSource(engine::DataSource *source)
{
    model_->setDataSource(source);
}

engine::DataSource *DBGrid::dataSource() const
{
    return model_->dataSource();
}

engine::Table *DBGrid::table() const
{
    return model_->table();
}

QString DBGrid::fieldNameOfColumn(int logicalColumn) const
{
    if (logicalColumn < 0 || logicalColumn >= model_->columnCount())
        return QString();
    return model_->headerData(logicalColumn, Qt::Horizontal, Qt::DisplayRole).toString();
}

int DBGrid::columnCount() const
{
    return model_->columnCount();
}

QStringList DBGrid::columnFieldNames() const
{
    QStringList names;
    const int count = model_->columnCount();
    for (int visual = 0; visual < count; ++visual)
        names << fieldNameOfColumn(horizontalHeader()->logicalIndex(visual));
    return names;
}

int DBGrid::fieldIndexAt(int displayPosition) const
{
    const int logical = horizontalHeader()->logicalIndex(displayPosition);
    return logical < 0 ? -1 : model_->fieldIndexForColumn(logical);
}

bool DBGrid::moveColumn(const QString &fieldName, int displayPosition)
{
    const int count = model_->columnCount();
    if (displayPosition < 0 || displayPosition >= count)
        return false;
    for (int logical = 0; logical < count; ++logical) {
        if (fieldNameOfColumn(logical).compare(fieldName, Qt::CaseInsensitive) == 0) {
            QHeaderView *header = horizontalHeader();
            header->moveSection(header->visualIndex(logical), displayPosition);
            return true;
        }
    }
    return false;
}

void DBGrid::resetColumnOrder()
{
    QHeaderView *header = horizontalHeader();
    for (int logical = 0; logical < model_->columnCount(); ++logical)
        header->moveSection(header->visualIndex(logical), logical);
}

QString DBGrid::selectedFieldName() const
{
    return fieldNameOfColumn(currentIndex().column());
}

void DBGrid::finishEditing(bool commit)
{
    if (state() != QAbstractItemView::EditingState)
        return;
    QWidget *editor = indexWidget(currentIndex());
    if (!editor)
        return;
    if (commit) {
        commitData(editor);
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    } else {
        closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
    }
}

void DBGrid::finishEditingOf(const engine::Table *table, bool commit)
{
    for (QWidget *w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        if (auto *grid = qobject_cast<DBGrid *>(w)) {
            if (grid->table() == table)
                grid->finishEditing(commit);
            return;
        }
    }
}

bool DBGrid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    // Typing into a cell puts the record in edit at once, as the navigator's
    // Post and Cancel buttons expect. The record goes into edit before the
    // editor opens, so that nothing the table announces meanwhile can reset
    // what is being typed.
    engine::Table *t = table();
    const bool mayOpen = t && t->active() && t->state() == engine::TableState::Browse && index.isValid()
                         && index.row() == t->currentRow() && state() != QAbstractItemView::EditingState
                         && (model()->flags(index) & Qt::ItemIsEditable)
                         && (trigger == QAbstractItemView::AllEditTriggers || (editTriggers() & trigger));
    bool began = false;
    if (mayOpen) {
        try {
            t->edit();
            began = true;
        } catch (...) {
            Application::showException(std::current_exception());
            return false;
        }
    }
    const bool opened = QTableView::edit(index, trigger, event);
    if (began && !opened && t->state() == engine::TableState::Edit && !t->modified()) {
        try {
            t->cancel(); // no editor after all: nothing to post
        } catch (...) {
            Application::showException(std::current_exception());
        }
    }
    return opened;
}

void DBGrid::followTable(int row, int preferredColumn)
{
    if (row < 0 || row >= model_->rowCount())
        return;
    int column = currentIndex().isValid() ? currentIndex().column() : preferredColumn;
    if (column < 0 || column >= model_->columnCount())
        column = horizontalHeader()->logicalIndex(0);
    if (column < 0)
        return;
    if (currentIndex().row() == row && currentIndex().column() == column)
        return;
    following_ = true;
    setCurrentIndex(model_->index(row, column));
    following_ = false;
    scrollTo(currentIndex());
}

void DBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (previous.isValid() && current.column() != previous.column())
        emit colExit(fieldNameOfColumn(previous.column()));
    if (following_ || !current.isValid())
        return;
    engine::Table *t = table();
    if (!t || !t->active() || current.row() == t->currentRow())
        return;
    // Moving to another row posts a changed record first (the table does it).
    // When that fails the grid stays on the record and shows the error; the
    // error is not thrown through the view's own event handling.
    try {
        t->setRecNo(current.row() + 1);
    } catch (...) {
        following_ = true;
        setCurrentIndex(model_->index(t->currentRow(), current.column()));
        following_ = false;
        Application::showException(std::current_exception());
    }
}

void DBGrid::keyPressEvent(QKeyEvent *event)
{
    // The keys of a classic data grid: Escape cancels the record's changes,
    // Insert inserts a record, Ctrl+Delete deletes one after asking.
    engine::Table *t = table();
    if (t && t->active() && state() != QAbstractItemView::EditingState) {
        try {
            if (event->key() == Qt::Key_Escape && t->state() != engine::TableState::Browse) {
                t->cancel();
                return;
            }
            if (event->key() == Qt::Key_Insert && event->modifiers() == Qt::NoModifier && t->canModify()) {
                t->insert();
                return;
            }
            if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::ControlModifier
                && t->canModify() && t->rowCount() > 0) {
                DBNavigator::deleteWithConfirmation(*t);
                return;
            }
        } catch (...) {
            Application::showException(std::current_exception());
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

} // namespace pelldrake
