#include "widgets/dbgrid.h"

#include "shell/application.h"
#include "shell/dialogs.h"
#include "engine/data_source.h"
#include "engine/field.h"
#include "widgets/dbnavigator.h"
#include "engine/table.h"
#include "engine/table_model.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLabel>

#include "engine/engine_error.h"
#include <QItemEditorFactory>
#include <QKeyEvent>
#include <QMetaProperty>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyledItemDelegate>

#include <algorithm>
#include <limits>

namespace pelldrake {

namespace {

// Writes an edited cell through the table. A value the field cannot take
// (letters in a number column) is reported here, inside the delegate: an
// error thrown through the view's commit would leave the view refusing every
// later commit. The grid learns of the refusal and keeps the editor open with
// what was typed, on its row, so the user can correct or cancel it.
class GridDelegate : public QStyledItemDelegate {
public:
    GridDelegate(QObject *parent, QString *refusal) : QStyledItemDelegate(parent), refusal_(refusal) {}
    void setModelData(QWidget *editor, QAbstractItemModel *model,
                      const QModelIndex &index) const override
    {
        // The editor's value is read here rather than by the base class, so the
        // table's refusal (setData's false, with the model's lastError()) is
        // seen here, where the grid keeps the editor open.
        QByteArray property = editor->metaObject()->userProperty().name();
        if (property.isEmpty()) {
            const QItemEditorFactory *factory = itemEditorFactory() ? itemEditorFactory()
                                                                    : QItemEditorFactory::defaultFactory();
            property = factory->valuePropertyName(model->data(index, Qt::EditRole).userType());
        }
        if (property.isEmpty())
            return;
        const QVariant value = editor->property(property.constData());
        auto *tableModel = qobject_cast<engine::TableModel *>(model);
        if (model->setData(index, value, Qt::EditRole) || !tableModel || tableModel->lastError().isEmpty())
            return;
        *refusal_ = tableModel->lastError();
        try {
            dialogs().showError(*refusal_);
        } catch (...) {
            // The display must not throw back through the view.
        }
    }

private:
    QString *refusal_;
};

// Characters a field's values need: the size of a string, the widest text of
// other types (a 64-bit integer with its sign, an ISO date and time).
int displayChars(const engine::Field &field)
{
    using namespace engine;
    switch (field.dataType()) {
    case ftString: case ftFixedChar: case ftWideString: return field.size() > 0 ? field.size() : 20;
    case ftSmallint: return 6;
    case ftWord: return 5;
    case ftInteger: case ftAutoInc: return 11;
    case ftLargeint: return 20;
    case ftBoolean: return 5;
    case ftFloat: case ftCurrency: case ftBCD: case ftFMTBcd: return 16;
    case ftDate: return 10;
    case ftTime: return 8;
    case ftDateTime: case ftTimeStamp: return 19;
    case ftBlob: case ftGraphic: case ftBytes: case ftVarBytes: return 6;
    case ftMemo: case ftFmtMemo: return 30;
    default: return 20;
    }
}

// Long strings and memos would push every other column off the screen.
constexpr int kMaxColumnChars = 40;

// The model's window is at least this many rows, so a grid not shown yet, or
// a low one, still offers the first rows to whoever reads it.
constexpr int kMinWindowRows = 64;

} // namespace

DBGrid::DBGrid(QWidget *parent)
    : QTableView(parent)
    , model_(new engine::TableModel(this))
{
    setModel(model_);
    setItemDelegate(new GridDelegate(this, &refusal_));
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
                    | QAbstractItemView::AnyKeyPressed);
    horizontalHeader()->setSectionsMovable(true);
    horizontalHeader()->setHighlightSections(false);
    // Fixed row heights: a million-row table must not be measured row by row.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    verticalHeader()->setVisible(false);
    setWordWrap(false);
    // The model holds a window of the rows (about a screenful); the vertical
    // scroll bar is the grid's own and counts records, so nothing in the view
    // grows with the table.
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    model_->setWindow(0, kMinWindowRows);
    connect(model_, &engine::TableModel::recordRowsChanged, this, [this] { setTopRecord(model_->windowTop()); });

    connect(model_, &engine::TableModel::currentRowChanged, this, [this](int row) { followTable(row); });
    // Rows leaving or joining the model move the view's current index by
    // themselves (to the nearest row left); that is no move of the user's and
    // must not move the table. The grid follows the table afterwards.
    auto holdCurrent = [this] { ++modelChanging_; };
    auto followAgain = [this] {
        if (--modelChanging_ > 0 || shifting_)
            return;
        placeCurrent(-1); // on its record's row, without scrolling to it
        syncSelection();
    };
    // (Removal is held in rowsAboutToBeRemoved(), which runs before the view and the selection
    // model move the current index.)
    connect(model_, &QAbstractItemModel::rowsRemoved, this, followAgain);
    connect(model_, &QAbstractItemModel::rowsAboutToBeInserted, this, holdCurrent);
    connect(model_, &QAbstractItemModel::rowsInserted, this, followAgain);
    // The record left edit mode (posted or cancelled elsewhere): a cell editor
    // still open belongs to nothing any more.
    connect(model_, &engine::TableModel::editingEnded, this, [this] { finishEditing(false); });
    // The model is reset when another table opens: it starts at its top, in
    // the column the grid was in.
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        columnBeforeReset_ = currentIndex().isValid() ? currentIndex().column() : currentColumn_;
        currentColumn_ = -1;
    });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        syncScrollBar();
        engine::Table *t = table();
        if (!t || !t->active())
            return;
        sizeColumnsToFields();
        followTable(t->currentRow(), columnBeforeReset_);
    });
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex &index) {
        emit cellClick(fieldNameOfColumn(index.column()));
    });
    // A click on a column's title sorts by it: ascending, then descending, then the index's
    // order again. The indicator follows the table, whose order an index chosen also changes.
    horizontalHeader()->setSortIndicatorShown(false);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &DBGrid::cycleSort);
    connect(model_, &QAbstractItemModel::modelReset, this, &DBGrid::showSortIndicator);
    connect(model_, &QAbstractItemModel::dataChanged, this, &DBGrid::showSortIndicator);

    // Another table (or none): nothing of the old one stays selected.
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
        anchorRecord_ = anchorColumn_ = extentRecord_ = extentColumn_ = -1;
        currentRecord_ = currentDisplayColumn_ = -1;
    });
    connect(model_, &QAbstractItemModel::modelReset, this, &DBGrid::showReadOnlyNote);
    copyAction_ = new QAction(QStringLiteral("Copy"), this);
    copyAction_->setObjectName(QStringLiteral("GridCopy"));
    copyAction_->setShortcut(QKeySequence::Copy);
    copyAction_->setShortcutContext(Qt::WidgetShortcut); // a cell editor copies its own text
    connect(copyAction_, &QAction::triggered, this, &DBGrid::copySelection);
    addAction(copyAction_);
    // Beside the horizontal scroll bar, which is then always shown, so the note is too.
    readOnlyNote_ = new QLabel(this);
    readOnlyNote_->setObjectName(QStringLiteral("ReadOnlyNote"));
    readOnlyNote_->setContentsMargins(4, 0, 4, 0);
    readOnlyNote_->setAutoFillBackground(true);
    QPalette notePalette = readOnlyNote_->palette();
    notePalette.setColor(QPalette::Window, QColor(255, 244, 200));
    notePalette.setColor(QPalette::WindowText, QColor(96, 64, 0));
    readOnlyNote_->setPalette(notePalette);
    addScrollBarWidget(readOnlyNote_, Qt::AlignLeft); // as wide as its text
    readOnlyNote_->hide();
}

void DBGrid::cycleSort(int logicalColumn)
{
    engine::Table *t = table();
    if (!t || !t->active() || logicalColumn < 0 || logicalColumn >= model_->columnCount())
        return;
    if (!finishEditing(true))
        return;
    const QString field = t->field(model_->fieldIndexForColumn(logicalColumn))->fieldName();
    const bool same = t->sortField().compare(field, Qt::CaseInsensitive) == 0;
    try {
        if (!same)
            t->setSortField(field, false);
        else if (!t->sortDescending())
            t->setSortField(field, true);
        else
            t->setSortField(QString());
    } catch (...) {
        dialogs().showError(engine::errorMessage(std::current_exception()));
    }
    showSortIndicator();
}

void DBGrid::showSortIndicator()
{
    engine::Table *t = table();
    QHeaderView *header = horizontalHeader();
    const QString field = t && t->active() ? t->sortField() : QString();
    int column = -1;
    for (int c = 0; !field.isEmpty() && c < model_->columnCount(); ++c)
        if (t->field(model_->fieldIndexForColumn(c))->fieldName().compare(field, Qt::CaseInsensitive) == 0)
            column = c;
    header->setSortIndicatorShown(column >= 0);
    if (column >= 0)
        header->setSortIndicator(column, t->sortDescending() ? Qt::DescendingOrder : Qt::AscendingOrder);
}

DBGrid::~DBGrid() = default;

void DBGrid::setDataSource(engine::DataSource *source)
{
    model_->setDataSource(source);
    showReadOnlyNote();
}

QString DBGrid::readOnlyNote() const
{
    return readOnlyNote_->isHidden() ? QString() : readOnlyNote_->text();
}

void DBGrid::showReadOnlyNote()
{
    engine::Table *t = table();
    const QString reason = t && t->active() ? t->readOnlyReason() : QString();
    readOnlyNote_->setText(reason);
    readOnlyNote_->setToolTip(reason.isEmpty() ? QString() : reason + QStringLiteral(": records can be read, not changed."));
    if (reason.isEmpty()) {
        readOnlyNote_->hide();
        setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        return;
    }
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    readOnlyNote_->show();
}

engine::DataSource *DBGrid::dataSource() const
{
    return model_->dataSource();
}

engine::Table *DBGrid::table() const
{
    return model_->table();
}

void DBGrid::sizeColumnsToFields()
{
    engine::Table *t = table();
    const QFontMetrics cells = fontMetrics();
    const QFontMetrics titles = horizontalHeader()->fontMetrics();
    const int digit = cells.horizontalAdvance(QLatin1Char('0'));
    const int padding = 2 * style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, this) + 8;
    for (int column = 0; column < model_->columnCount(); ++column) {
        const engine::Field *field = t->field(model_->fieldIndexForColumn(column));
        const int chars = std::min(displayChars(*field), kMaxColumnChars);
        const int title = std::min(titles.horizontalAdvance(field->fieldName()), kMaxColumnChars * digit);
        setColumnWidth(column, std::max(chars * digit, title) + padding);
    }
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

bool DBGrid::finishEditing(bool commit)
{
    if (state() != QAbstractItemView::EditingState)
        return true;
    QWidget *editor = indexWidget(currentIndex());
    if (!editor)
        return true;
    if (commit) {
        if (!commitEditor(editor))
            return false; // the editor stays open with what was typed
        closeEditor(editor, QAbstractItemDelegate::NoHint);
    } else {
        refusal_.clear();
        closeEditor(editor, QAbstractItemDelegate::RevertModelCache);
    }
    return true;
}

bool DBGrid::finishEditingOf(const engine::Table *table, bool commit)
{
    for (QWidget *w = QApplication::focusWidget(); w; w = w->parentWidget()) {
        if (auto *grid = qobject_cast<DBGrid *>(w))
            return grid->table() != table || grid->finishEditing(commit);
    }
    return true;
}

bool DBGrid::commitEditor(QWidget *editor)
{
    refusal_.clear();
    QTableView::commitData(editor);
    return refusal_.isEmpty();
}

void DBGrid::commitData(QWidget *editor)
{
    commitEditor(editor);
}

void DBGrid::closeEditor(QWidget *editor, QAbstractItemDelegate::EndEditHint hint)
{
    // Enter or Tab after a value the field refused: the editor stays, and so
    // does the row.
    if (!refusal_.isEmpty() && hint != QAbstractItemDelegate::RevertModelCache) {
        editor->setFocus();
        return;
    }
    refusal_.clear();
    QTableView::closeEditor(editor, hint);
}

void DBGrid::mousePressEvent(QMouseEvent *event)
{
    // A right-click inside the range keeps it, for the pop-up's Copy.
    if (event->button() == Qt::RightButton) {
        const QModelIndex target = indexAt(event->position().toPoint());
        const Range r = selectedRange();
        const int record = model_->windowTop() + target.row();
        const int column = horizontalHeader()->visualIndex(target.column());
        if (target.isValid() && record >= r.firstRecord && record <= r.lastRecord && column >= r.firstColumn && column <= r.lastColumn
            && state() != QAbstractItemView::EditingState) {
            event->accept();
            return;
        }
    }
    extending_ = event->modifiers() & Qt::ShiftModifier;
    pressMouse(event);
    extending_ = false;
    // A plain click on the current cell starts a range there too.
    if (!(event->modifiers() & Qt::ShiftModifier) && currentRecord_ >= 0)
        noteCurrentCell(currentRecord_, currentDisplayColumn_, true);
    syncSelection();
}

void DBGrid::pressMouse(QMouseEvent *event)
{
    if (state() == QAbstractItemView::EditingState) {
        const QModelIndex target = indexAt(event->position().toPoint());
        QWidget *editor = indexWidget(currentIndex());
        if (editor && target != currentIndex() && !commitEditor(editor)) {
            event->accept();
            return;
        }
    }
    QTableView::mousePressEvent(event);
}

bool DBGrid::edit(const QModelIndex &index, EditTrigger trigger, QEvent *event)
{
    // Typing into a cell puts the record in edit at once, as the navigator's
    // Post and Cancel buttons expect. The record goes into edit before the
    // editor opens, so that nothing the table announces meanwhile can reset
    // what is being typed.
    engine::Table *t = table();
    const bool mayOpen = t && t->active() && t->state() == engine::TableState::Browse && index.isValid()
                         && model_->windowTop() + index.row() == t->currentRow()
                         && state() != QAbstractItemView::EditingState
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

void DBGrid::rowsAboutToBeRemoved(const QModelIndex &parent, int start, int end)
{
    ++modelChanging_;
    QTableView::rowsAboutToBeRemoved(parent, start, end);
}

void DBGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (current.isValid()) {
        if (currentColumn_ >= 0 && current.column() != currentColumn_)
            emit colExit(fieldNameOfColumn(currentColumn_));
        currentColumn_ = current.column();
        // Rows joining or leaving put the view's index anywhere for a moment; the grid
        // places it on its record afterwards.
        if (modelChanging_ == 0 && !shifting_)
            noteCurrentCell(model_->windowTop() + current.row(), horizontalHeader()->visualIndex(current.column()));
    }
    if (following_ || modelChanging_ > 0 || !current.isValid())
        return;
    engine::Table *t = table();
    const int record = model_->windowTop() + current.row();
    if (!t || !t->active() || record == t->currentRow())
        return;
    // Moving to another row posts a changed record first (the table does it).
    // When that fails the grid stays on the record and shows the error; the
    // error is not thrown through the view's own event handling.
    try {
        t->setRecNo(record + 1);
    } catch (...) {
        followTable(t->currentRow(), current.column());
        Application::showException(std::current_exception());
    }
}

// ---- the window of rows and the grid's own scroll bar

int DBGrid::rowHeight() const
{
    return std::max(1, verticalHeader()->defaultSectionSize());
}

int DBGrid::fullRows() const
{
    return std::max(1, viewport()->height() / rowHeight());
}

int DBGrid::recordRows() const
{
    return model_->recordRows();
}

int DBGrid::topRecord() const
{
    return model_->windowTop();
}

QModelIndex DBGrid::recordIndex(int record, int column)
{
    if (record < 0 || record >= model_->recordRows())
        return {};
    ensureRecordVisible(record, EnsureVisible);
    const int row = model_->rowOfRecord(record);
    if (row < 0)
        return {};
    const QModelIndex cell = model_->index(row, column);
    scrollTo(cell); // its column too
    return cell;
}

int DBGrid::currentRecordRow() const
{
    return currentIndex().isValid() ? model_->windowTop() + currentIndex().row() : -1;
}

void DBGrid::setTopRecord(int top)
{
    top = std::max(0, std::min(top, model_->recordRows() - fullRows()));
    const int size = std::max(kMinWindowRows, viewport()->height() / rowHeight() + 1);
    if (top != model_->windowTop() || size != model_->windowSize()) {
        // A cell editor sits on a model row, which is about to show another record.
        if (top != model_->windowTop() && state() == QAbstractItemView::EditingState)
            finishEditing(true);
        shifting_ = true;
        model_->setWindow(top, size);
        shifting_ = false;
        placeCurrent(-1);
        syncSelection(); // the rows show other records now
    }
    syncScrollBar();
}

void DBGrid::syncScrollBar()
{
    QScrollBar *bar = verticalScrollBar();
    settingScroll_ = true;
    bar->setRange(0, std::max(0, model_->recordRows() - fullRows()));
    bar->setPageStep(fullRows());
    bar->setSingleStep(1);
    bar->setValue(model_->windowTop());
    settingScroll_ = false;
    verticalHeader()->setOffset(0); // the window's first row is the top of the viewport
}

void DBGrid::ensureRecordVisible(int record, ScrollHint hint)
{
    const int full = fullRows();
    int top = model_->windowTop();
    switch (hint) {
    case PositionAtTop: top = record; break;
    case PositionAtBottom: top = record - full + 1; break;
    case PositionAtCenter: top = record - full / 2; break;
    case EnsureVisible:
        if (record < top)
            top = record;
        else if (record >= top + full)
            top = record - full + 1;
        break;
    }
    setTopRecord(top);
}

void DBGrid::placeCurrent(int preferredColumn)
{
    engine::Table *t = table();
    if (!t || !t->active())
        return;
    int column = currentIndex().isValid() ? currentIndex().column()
                 : currentColumn_ >= 0    ? currentColumn_
                                          : preferredColumn;
    if (column < 0 || column >= model_->columnCount())
        column = horizontalHeader()->logicalIndex(0);
    if (column < 0)
        return;
    const int row = model_->rowOfRecord(t->currentRow());
    following_ = true;
    if (row >= 0) {
        if (currentIndex().row() != row || currentIndex().column() != column)
            setCurrentIndex(model_->index(row, column));
    } else if (currentIndex().isValid()) {
        currentColumn_ = currentIndex().column();
        selectionModel()->clear(); // the current record is scrolled out of the window
    }
    following_ = false;
}

void DBGrid::followTable(int record, int preferredColumn)
{
    if (record < 0 || record >= model_->recordRows())
        return;
    ensureRecordVisible(record, EnsureVisible);
    placeCurrent(preferredColumn);
    if (currentIndex().isValid())
        scrollTo(currentIndex());
}

void DBGrid::updateGeometries()
{
    if (inGeometry_)
        return;
    inGeometry_ = true;
    {
        // The view would set the scroll bar for the window's rows; it is set for the records below.
        const QSignalBlocker block(verticalScrollBar());
        QTableView::updateGeometries();
    }
    setTopRecord(model_->windowTop()); // the window follows the viewport's height
    inGeometry_ = false;
}

void DBGrid::scrollContentsBy(int dx, int dy)
{
    QTableView::scrollContentsBy(dx, 0);
    if (dy != 0 && !settingScroll_)
        setTopRecord(verticalScrollBar()->value());
}

void DBGrid::scrollTo(const QModelIndex &index, ScrollHint hint)
{
    // Placing the current index on its record, or the view moving it while
    // the window changes (the view scrolls to every new current index), must
    // not move the window that was just chosen.
    if (!index.isValid() || following_ || shifting_ || modelChanging_ > 0)
        return;
    const int record = model_->windowTop() + index.row();
    ensureRecordVisible(record, hint);
    const int row = model_->rowOfRecord(record);
    if (row < 0)
        return;
    {
        // Only the horizontal part is the view's: rows are the window's business.
        const QSignalBlocker block(verticalScrollBar());
        QTableView::scrollTo(model_->index(row, index.column()), hint);
    }
    syncScrollBar();
}

QModelIndex DBGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    // Leaving a cell whose text the field refuses: nowhere to go until it is
    // corrected or cancelled.
    if (state() == QAbstractItemView::EditingState) {
        if (QWidget *editor = indexWidget(currentIndex()); editor && !commitEditor(editor))
            return currentIndex();
    }
    engine::Table *t = table();
    if (!t || !t->active() || model_->columnCount() == 0 || model_->recordRows() == 0)
        return QTableView::moveCursor(action, modifiers);

    // Rows are counted in records, not in the window's rows.
    QHeaderView *header = horizontalHeader();
    int visual = header->visualIndex(currentIndex().isValid() ? currentIndex().column()
                                     : currentColumn_ >= 0    ? currentColumn_
                                                              : header->logicalIndex(0));
    int record = std::max(0, t->currentRow());
    auto stepColumn = [&](int step) {
        for (int v = visual + step; v >= 0 && v < header->count(); v += step) {
            if (!header->isSectionHidden(header->logicalIndex(v))) {
                visual = v;
                return;
            }
        }
    };
    const bool control = modifiers & Qt::ControlModifier;
    switch (action) {
    case MoveUp: record -= 1; break;
    case MoveDown: record += 1; break;
    case MovePageUp: record -= fullRows(); break;
    case MovePageDown: record += fullRows(); break;
    case MoveHome:
        if (control) {
            record = 0;
        } else {
            visual = -1;
            stepColumn(1);
        }
        break;
    case MoveEnd:
        if (control) {
            record = std::numeric_limits<int>::max() - 1;
        } else {
            visual = header->count();
            stepColumn(-1);
        }
        break;
    case MoveLeft:
    case MovePrevious: stepColumn(-1); break;
    case MoveRight:
    case MoveNext: stepColumn(1); break;
    }
    // Rows beyond those known yet: a filter's further pages, or the count.
    if (record >= model_->recordRows())
        model_->fetchRowsUpTo(record);
    record = std::max(0, std::min(record, model_->recordRows() - 1));
    ensureRecordVisible(record, EnsureVisible);
    const int row = model_->rowOfRecord(record);
    return row < 0 ? QModelIndex() : model_->index(row, header->logicalIndex(visual));
}

void DBGrid::mouseMoveEvent(QMouseEvent *event)
{
    extending_ = event->buttons() & Qt::LeftButton; // a drag grows the range
    QTableView::mouseMoveEvent(event);
    extending_ = false;
    syncSelection();
}

void DBGrid::keyPressEvent(QKeyEvent *event)
{
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
        return;
    }
    // Shift+Space: the range's records, every column (as a spreadsheet selects rows).
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::ShiftModifier
        && state() != QAbstractItemView::EditingState && anchorRecord_ >= 0) {
        anchorColumn_ = 0;
        extentColumn_ = model_->columnCount() - 1;
        syncSelection();
        return;
    }
    // Shift with a moving key grows the range (Shift+Tab is a move back, not a selection).
    extending_ = (event->modifiers() & Qt::ShiftModifier) && event->key() != Qt::Key_Backtab
                 && event->key() != Qt::Key_Tab;
    pressKey(event);
    extending_ = false;
    syncSelection();
}

void DBGrid::pressKey(QKeyEvent *event)
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
