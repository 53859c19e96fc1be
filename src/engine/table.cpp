// The table cursor's public front: settings, open and close, moves, edits.
#include "engine/table_private.h"

#include "engine/engine_error.h"

#include "engine/filter.h"
#include "engine/values.h"

#include <algorithm>
#include <limits>

namespace pelldrake::engine {

namespace {

// The alias and the file come first: with them fixed, a keyless table would still say so.
QString readOnlyReasonOf(const Database &db, bool keyModifiable)
{
    switch (db.readOnlyCause()) {
    case Database::ReadOnlyCause::Alias:
        return QStringLiteral("Read-only: alias '%1' is read-only").arg(db.databaseName());
    case Database::ReadOnlyCause::File:
        return QStringLiteral("Read-only: the database file cannot be written");
    case Database::ReadOnlyCause::None:
        break;
    }
    if (!keyModifiable)
        return QStringLiteral("Read-only: no primary key or unique index over NOT NULL columns");
    return db.readOnly() ? QStringLiteral("Read-only") : QString();
}

} // namespace

// ---- Private ----------------------------------------------------------------------------------

Table::Private::Private(Table *t, Session *s) : q(t), session(s)
{
    writer.setLeaveEdit([this] { leaveEdit(); });
}

void Table::Private::requireActive() const
{
    if (!active)
        throw EngineError(QStringLiteral("Table is not open."));
}

void Table::Private::buildFields()
{
    fields.clear();
    for (int i = 0; i < shape.catalog.columns.size(); ++i) {
        const ColumnInfo &c = shape.catalog.columns.at(i);
        std::unique_ptr<Field> f(new Field(q, i));
        const TypeInfo ti = typeFromDeclaration(c.decl);
        f->m_name = c.name;
        f->m_declaredType = c.decl;
        f->m_type = ti.type;
        f->m_size = ti.size;
        f->m_dataSize = ti.dataSize;
        f->m_required = c.notNull;
        f->m_hasDefault = c.hasDefault;
        f->m_readOnly = c.readOnly;
        fields.push_back(std::move(f));
    }
}

void Table::Private::setState(TableState s)
{
    if (edit.state == s)
        return;
    edit.state = s;
    emit q->stateChanged();
}

void Table::Private::leaveEdit()
{
    edit.drop();
    setState(TableState::Browse);
}

void Table::Private::checkBrowseMode()
{
    if (edit.editing()) {
        if (edit.modified)
            q->post();
        else
            q->cancel();
    }
}

// Starts a new record: at the end (append, or insert with no current row) or before the
// current row (insert).
void Table::Private::beginInsert(bool atEnd)
{
    requireActive();
    checkBrowseMode();
    if (!canModify)
        throw EngineError(QStringLiteral("Cannot modify a read-only table."));
    // The new row takes a place in the keyset, so the keyset must be whole first.
    if (!cursor.keys.complete())
        cursor.loadAllKeys();
    edit.savedPos = cursor.pos;
    edit.appending = atEnd || cursor.pos < 0;
    edit.insertPos = edit.appending ? cursor.rowTotal() : cursor.pos;
    edit.startInsert(int(fields.size()));
    setState(TableState::Insert);
    if (atEnd)
        cursor.eof = true;
    emit q->dataChanged();
    emit q->afterScroll();
}

// Re-reads the rows after the filter text or switch changed and moves to the first one.
// If the new filter fails, undo() restores the old setting and its rows come back.
void Table::Private::refilter(const std::function<void()> &undo)
{
    try {
        shape.applyFilter(statements.sql());
        cursor.rebuild();
    } catch (...) {
        undo();
        shape.applyFilter(statements.sql());
        cursor.rebuild();
        cursor.moveTo(0);
        throw;
    }
    cursor.moveTo(0);
    cursor.bof = true;
    cursor.eof = cursor.pos < 0;
    emit q->dataChanged();
    emit q->afterScroll();
}

// The transaction that held this table's writes ended without them: the keyset, the count and
// the values are read again from what is stored. A record being edited stays in edit when it is
// still there (its post then finds it by key); else the edit is given up.
void Table::Private::afterRollback()
{
    if (!active)
        return;
    int &pos = cursor.pos;
    const bool hadRow = pos >= 0 && pos < cursor.loaded();
    const qint64 id = hadRow ? cursor.keys.at(pos) : 0;
    const QVariantList keyValues = hadRow && !shape.key.intKey ? cursor.keyStore.key(id) : QVariantList();
    cursor.recordCount = -1;
    try {
        cursor.rebuild();
        const int at = hadRow ? cursor.locate(id, keyValues) : -1;
        if (at < 0 && edit.state == TableState::Edit)
            leaveEdit();
        cursor.moveTo(at < 0 ? pos : at);
        if (edit.state == TableState::Insert) { // the new row's place in a whole keyset, as insert() takes it
            cursor.loadAllKeys();
            edit.insertPos = edit.appending || pos < 0 ? cursor.rowTotal() : pos;
        }
    } catch (const std::exception &e) {
        // Read again at the next refresh; until then no record, and no edit of an unknown one.
        qWarning("%s", e.what());
        if (edit.editing())
            leaveEdit();
        pos = -1;
    }
    cursor.bof = pos <= 0;
    cursor.eof = pos < 0;
    emit q->dataChanged();
    emit q->afterScroll();
}

// ---- Table ------------------------------------------------------------------------------

Table::Table(QObject *parent) : Table(Session::defaultSession(), parent) {}

Table::Table(Session &session, QObject *parent)
    : QObject(parent), d{std::make_unique<Private>(this, &session)}
{
}

Table::~Table()
{
    d->statements.clear();
}

void Table::setDatabaseName(const QString &alias)
{
    if (d->active && alias != d->alias)
        close();
    d->alias = alias;
}

QString Table::databaseName() const { return d->alias; }

void Table::setTableName(const QString &name)
{
    if (d->active && name != d->shape.tableName)
        close();
    if (name != d->shape.tableName)
        d->shape.sortField.clear(); // a sort belongs to the table it was chosen on
    d->shape.tableName = name;
}

QString Table::tableName() const { return d->shape.tableName; }

void Table::setSortField(const QString &fieldName, bool descending)
{
    QueryShape &shape = d->shape;
    if (!d->active) {
        shape.sortField = fieldName;
        shape.sortDescending = descending;
        return;
    }
    d->checkBrowseMode();
    if (!fieldName.isEmpty() && shape.columnIndex(fieldName) < 0)
        throw EngineError(QStringLiteral("Field '%1' not found.").arg(fieldName));
    const QString previous = shape.sortField;
    const bool previousDescending = shape.sortDescending;
    shape.sortField = fieldName;
    shape.sortDescending = descending;
    try {
        shape.applyOrder();
        d->cursor.rebuild();
    } catch (...) {
        shape.sortField = previous;
        shape.sortDescending = previousDescending;
        shape.applyOrder();
        d->cursor.rebuild();
        d->cursor.moveTo(0);
        throw;
    }
    d->cursor.moveTo(0);
    d->cursor.bof = true;
    d->cursor.eof = d->cursor.pos < 0;
    emit dataChanged();
    emit afterScroll();
}

QString Table::sortField() const { return d->shape.sortField; }
bool Table::sortDescending() const { return d->shape.sortDescending; }

void Table::setIndexName(const QString &name)
{
    d->shape.sortField.clear(); // an index chosen ends a sort by a column
    if (!d->active) {
        d->shape.indexName = name;
        return;
    }
    d->checkBrowseMode();
    const QString previous = d->shape.indexName;
    // The current record stays current in the new order: remembered by its key values, since
    // composite keys are numbered anew with the keyset.
    const bool hadRow = d->cursor.pos >= 0;
    const qint64 currentId = hadRow ? d->cursor.keys.at(d->cursor.pos) : 0;
    const QVariantList currentKey = hadRow && !d->shape.key.intKey ? d->cursor.keyStore.key(currentId) : QVariantList();
    d->shape.indexName = name;
    try {
        d->shape.applyOrder();
        d->cursor.rebuild();
    } catch (...) {
        // Back to the old order with its rows, never a new name over an empty keyset.
        d->shape.indexName = previous;
        d->shape.applyOrder();
        d->cursor.rebuild();
        d->cursor.moveTo(hadRow ? d->cursor.pos : 0);
        throw;
    }
    const int at = hadRow ? d->cursor.locate(currentId, currentKey) : -1;
    d->cursor.moveTo(at < 0 ? 0 : at);
    d->cursor.bof = d->cursor.pos <= 0;
    d->cursor.eof = d->cursor.pos < 0;
    emit dataChanged();
    emit afterScroll();
}

QString Table::indexName() const { return d->shape.indexName; }

void Table::open()
{
    if (d->active)
        return;
    if (d->shape.tableName.isEmpty())
        throw EngineError(QStringLiteral("No table name given."));
    Database *db = d->session ? d->session->findDatabase(d->alias) : nullptr;
    if (!db)
        throw EngineError(QStringLiteral("Database '%1' is not connected.").arg(d->alias));
    const Dialect dialect = db->isPostgres() ? Dialect::Postgres : Dialect::Sqlite;
    d->statements.attach(db, dialect);
    d->cursor.keyStore.clear();
    try {
        d->shape.open(db->sqlDatabase(), dialect);
        d->buildFields();
        d->canModify = d->shape.key.modifiable && !db->readOnly();
        d->readOnlyReason = readOnlyReasonOf(*db, d->shape.key.modifiable);
        d->shape.applyOrder();
        d->shape.applyFilter(db->sqlDatabase());
        d->cursor.recordCount = -1;
        d->cursor.rebuild();
    } catch (...) {
        d->fields.clear();
        d->statements.detach();
        throw;
    }
    d->dbConnection = connect(db, &Database::connectedChanged, this, [this](bool on) {
        if (!on)
            close();
    });
    d->rollbackConnection = connect(db, &Database::transactionRolledBack, this, [this] { d->afterRollback(); });
    d->active = true;
    d->edit.state = TableState::Browse;
    d->cursor.moveTo(0);
    d->cursor.bof = true;
    d->cursor.eof = d->cursor.pos < 0;
    emit stateChanged();
    emit dataChanged();
    emit afterScroll();
}

void Table::close()
{
    if (!d->active)
        return;
    disconnect(d->dbConnection);
    disconnect(d->rollbackConnection);
    d->active = false;
    d->edit.state = TableState::Inactive;
    d->edit.modified = false;
    d->edit.values.clear();
    d->statements.detach();
    d->cursor.reset();
    d->fields.clear();
    d->shape.close();
    emit stateChanged();
    emit dataChanged();
}

bool Table::active() const { return d->active; }
int Table::recordCount()
{
    return d->active ? int(std::min<qint64>(d->cursor.records(), std::numeric_limits<int>::max())) : 0;
}
qint64 Table::shownRecordCount()
{
    return d->active ? d->cursor.countShownRows() : 0;
}

bool Table::canModify() const { return d->active && d->canModify; }

QString Table::readOnlyReason() const { return d->active ? d->readOnlyReason : QString(); }
QList<IndexDef> Table::indexDefs() const { return d->shape.catalog.indexes; }
int Table::fieldCount() const { return int(d->fields.size()); }

Field *Table::field(int index)
{
    if (index < 0 || index >= int(d->fields.size()))
        throw EngineError(QStringLiteral("Field index %1 out of range.").arg(index));
    return d->fields[size_t(index)].get();
}

Field *Table::fieldByName(const QString &name)
{
    Field *f = findField(name);
    if (!f)
        throw EngineError(QStringLiteral("Field '%1' not found.").arg(name));
    return f;
}

Field *Table::findField(const QString &name)
{
    const int i = d->shape.columnIndex(name);
    return i < 0 ? nullptr : d->fields[size_t(i)].get();
}

QStringList Table::keyFieldNames() const { return d->shape.key.fieldNames; }

QString Table::filter() const { return d->shape.filterText; }

void Table::setFilter(const QString &filter)
{
    if (filter == d->shape.filterText)
        return;
    if (!d->active || !d->shape.filtered) {
        if (d->shape.filtered && !filter.trimmed().isEmpty())
            parseFilter(filter); // report a bad expression now rather than at open()
        d->shape.filterText = filter;
        return;
    }
    d->checkBrowseMode();
    const QString previous = d->shape.filterText;
    d->shape.filterText = filter;
    d->refilter([&] { d->shape.filterText = previous; });
}

bool Table::filtered() const { return d->shape.filtered; }

void Table::setFiltered(bool on)
{
    if (on == d->shape.filtered)
        return;
    if (!d->active) {
        d->shape.filtered = on;
        return;
    }
    d->checkBrowseMode();
    d->shape.filtered = on;
    d->refilter([&] { d->shape.filtered = !on; });
}

void Table::first()
{
    d->requireActive();
    d->checkBrowseMode();
    d->cursor.moveTo(0);
    d->cursor.bof = true;
    d->cursor.eof = d->cursor.pos < 0;
    emit afterScroll();
}

void Table::last() { lastInSteps({}); }

void Table::lastInSteps(const std::function<void()> &between)
{
    d->requireActive();
    d->checkBrowseMode();
    if (!between) {
        d->cursor.loadAllKeys();
    } else {
        // About 10 ms of keys a step. Pages in the key's order continue after the last key;
        // pages at an offset pass over the keys before it again, so these grow with what is read.
        constexpr int kStep = 20000;
        while (!d->cursor.keys.complete()) {
            d->cursor.readKeys(d->shape.seekOrder ? kStep : std::max(kStep, d->cursor.loaded() / 4));
            between();
        }
    }
    d->cursor.moveTo(d->cursor.loaded() - 1);
    d->cursor.eof = true;
    d->cursor.bof = d->cursor.pos < 0;
    emit afterScroll();
}

void Table::next()
{
    d->requireActive();
    d->checkBrowseMode();
    if (d->cursor.pos >= 0 && d->cursor.ensureKey(d->cursor.pos + 1)) {
        ++d->cursor.pos;
        d->cursor.bof = false;
        d->cursor.eof = false;
        emit afterScroll();
    } else {
        d->cursor.eof = true;
        d->cursor.bof = d->cursor.pos < 0;
    }
}

void Table::prior()
{
    d->requireActive();
    d->checkBrowseMode();
    if (d->cursor.pos > 0) {
        --d->cursor.pos;
        d->cursor.bof = false;
        d->cursor.eof = false;
        emit afterScroll();
    } else {
        d->cursor.bof = true;
        d->cursor.eof = d->cursor.pos < 0;
    }
}

void Table::moveBy(int distance)
{
    d->requireActive();
    if (distance == 0 || d->cursor.pos < 0)
        return;
    d->checkBrowseMode();
    const long long target = (long long)d->cursor.pos + distance;
    const int old = d->cursor.pos;
    const int wanted = int(std::clamp<long long>(target, 0, std::numeric_limits<int>::max() - 1));
    d->cursor.ensureKey(wanted);
    const int rows = d->cursor.loaded();
    d->cursor.moveTo(std::min(wanted, rows - 1));
    d->cursor.bof = target < 0 || d->cursor.pos < 0;
    d->cursor.eof = target >= rows || d->cursor.pos < 0;
    if (d->cursor.pos != old)
        emit afterScroll();
}

bool Table::bof() const { return d->cursor.bof; }
bool Table::eof() const { return d->cursor.eof; }

int Table::recNo() const
{
    if (!d->active || d->edit.state == TableState::Insert || d->cursor.pos < 0)
        return -1;
    return d->cursor.pos + 1;
}

void Table::setRecNo(int recNo)
{
    d->requireActive();
    d->checkBrowseMode();
    if (d->cursor.pos < 0)
        return;
    const int old = d->cursor.pos;
    d->cursor.moveTo(recNo - 1);
    d->cursor.bof = d->cursor.pos == 0;
    d->cursor.eof = false;
    if (d->cursor.pos != old)
        emit afterScroll();
}

int Table::rowCount() { return d->active ? d->cursor.rowTotal() : 0; }

bool Table::isEmpty()
{
    return !d->active || (d->cursor.loaded() == 0 && (d->cursor.keys.complete() || !d->cursor.ensureKey(0)));
}

bool Table::rowCountKnown() const
{
    return !d->active || d->cursor.keys.complete() || !d->shape.where.isEmpty() || d->cursor.recordCount >= 0;
}

int Table::rowsRead() const { return d->active ? d->cursor.loaded() : 0; }

bool Table::hasMoreRows() const
{
    return d->active && !d->cursor.keys.complete() && !d->shape.where.isEmpty();
}

void Table::fetchMoreRows()
{
    if (hasMoreRows())
        d->cursor.readMoreKeys();
}

void Table::edit()
{
    d->requireActive();
    if (d->edit.state == TableState::Edit || d->edit.state == TableState::Insert)
        return;
    if (!d->canModify)
        throw EngineError(QStringLiteral("Cannot modify a read-only table."));
    if (d->cursor.pos < 0) {
        append();
        return;
    }
    d->edit.startEdit(d->rows.row(d->cursor.pos));
    d->setState(TableState::Edit);
}

void Table::append()
{
    d->beginInsert(true);
}

void Table::insert()
{
    d->beginInsert(false);
}

void Table::post()
{
    d->requireActive();
    if (d->edit.state == TableState::Edit) {
        d->writer.requireValues(d->edit.values, d->edit.changed, false);
        d->writer.postEdit();
    } else if (d->edit.state == TableState::Insert) {
        d->writer.requireValues(d->edit.values, d->edit.changed, true);
        d->writer.postInsert();
        d->cursor.bof = false;
        d->cursor.eof = false;
    } else {
        return;
    }
    d->edit.modified = false;
    emit dataChanged();
    emit afterScroll();
}

void Table::cancel()
{
    if (d->edit.state != TableState::Edit && d->edit.state != TableState::Insert)
        return;
    const bool inserting = d->edit.state == TableState::Insert;
    d->leaveEdit();
    if (inserting) {
        d->cursor.moveTo(d->edit.savedPos < 0 ? 0 : d->edit.savedPos);
        d->cursor.eof = d->cursor.pos < 0;
        d->cursor.bof = d->cursor.pos <= 0;
    }
    emit dataChanged();
    if (inserting)
        emit afterScroll();
}

void Table::deleteRecord()
{
    d->requireActive();
    if (d->edit.state == TableState::Insert) {
        cancel();
        return;
    }
    if (!d->canModify)
        throw EngineError(QStringLiteral("Cannot modify a read-only table."));
    if (d->cursor.pos < 0)
        throw EngineError(QStringLiteral("Cannot delete: the table has no records."));
    if (d->edit.state == TableState::Edit)
        d->leaveEdit();
    d->writer.deleteCurrent();
    d->cursor.ensureKey(d->cursor.pos);
    if (d->cursor.loaded() == 0) {
        d->cursor.pos = -1;
        d->cursor.bof = d->cursor.eof = true;
    } else {
        d->cursor.moveTo(std::min(d->cursor.pos, d->cursor.loaded() - 1));
        d->cursor.eof = false;
        d->cursor.bof = d->cursor.pos == 0;
    }
    emit dataChanged();
    emit afterScroll();
}

void Table::refresh()
{
    d->requireActive();
    d->checkBrowseMode();
    // The current record stays current by its key, wherever others' inserts and deletes moved
    // it; a record gone leaves the cursor at its old place (the record that took it, or the
    // last one). Composite keys are numbered anew with the keyset, so their values are kept.
    const int old = d->cursor.pos;
    const bool hadRow = old >= 0;
    const qint64 currentId = hadRow ? d->cursor.keys.at(old) : 0;
    const QVariantList currentKey = hadRow && !d->shape.key.intKey ? d->cursor.keyStore.key(currentId) : QVariantList();
    d->statements.clear(); // the table's structure may have changed too; statements re-prepare
    d->cursor.recordCount = -1;
    d->cursor.rebuild();
    const int at = hadRow ? d->cursor.locate(currentId, currentKey) : -1;
    d->cursor.moveTo(at >= 0 ? at : std::max(old, 0));
    d->cursor.bof = d->cursor.pos <= 0;
    d->cursor.eof = d->cursor.pos < 0;
    emit dataChanged();
    emit afterScroll();
}

TableState Table::state() const { return d->edit.state; }
bool Table::modified() const { return d->edit.modified; }

void Table::disableControls() { ++d->lock; }

void Table::enableControls()
{
    if (d->lock == 0)
        return;
    if (--d->lock == 0)
        emit dataChanged();
}

bool Table::controlsDisabled() const { return d->lock > 0; }

int Table::currentRow() const
{
    if (d->edit.state == TableState::Insert)
        return d->edit.insertPos;
    return d->cursor.pos;
}

QVariant Table::valueAt(int row, int fieldIndex)
{
    if (!d->active || fieldIndex < 0 || fieldIndex >= int(d->fields.size()))
        return {};
    if (d->edit.state == TableState::Insert) {
        if (row == d->edit.insertPos)
            return d->edit.values.at(fieldIndex);
        if (row > d->edit.insertPos)
            --row;
    } else if (d->edit.state == TableState::Edit && row == d->cursor.pos) {
        return d->edit.values.at(fieldIndex);
    }
    if (row < 0 || !d->cursor.ensureKey(row))
        return {};
    return d->rows.row(row).at(fieldIndex);
}

QString Table::textAt(int row, int fieldIndex)
{
    if (!d->active || fieldIndex < 0 || fieldIndex >= int(d->fields.size()))
        return {};
    return valueToText(d->fields[size_t(fieldIndex)]->dataType(), valueAt(row, fieldIndex));
}

const QVariant &Table::currentValue(int fieldIndex)
{
    static const QVariant none;
    if (d->edit.state == TableState::Edit || d->edit.state == TableState::Insert)
        return fieldIndex >= 0 && fieldIndex < d->edit.values.size() ? d->edit.values.at(fieldIndex) : none;
    if (!d->active || d->cursor.pos < 0)
        return none;
    const QVariantList &r = d->rows.row(d->cursor.pos);
    return fieldIndex >= 0 && fieldIndex < r.size() ? r.at(fieldIndex) : none;
}

void Table::setCurrentValue(int fieldIndex, const QVariant &value)
{
    if (d->edit.state != TableState::Edit && d->edit.state != TableState::Insert)
        throw EngineError(QStringLiteral("Table is not in edit or insert mode."));
    const Field *f = d->fields[size_t(fieldIndex)].get();
    if (f->readOnly())
        throw EngineError(QStringLiteral("Field '%1' cannot be modified.").arg(f->fieldName()));
    d->edit.set(fieldIndex, value);
    emit fieldChanged(fieldIndex);
}

bool Table::isIndexField(int fieldIndex) const
{
    return d->active && d->shape.isIndexColumn(d->fields[size_t(fieldIndex)]->fieldName());
}

Database *Table::database() const { return d->statements.database(); }

} // namespace pelldrake::engine
