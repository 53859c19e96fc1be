// The table cursor's public front: settings, open and close, moves, edits.
#include "engine/table_private.h"

#include "engine/filter.h"
#include "engine/values.h"

#include <algorithm>
#include <limits>

namespace pelldrake::engine {

// ---- Private helpers ---------------------------------------------------------------------------

void Table::Private::requireActive() const
{
    if (!active)
        fail(QStringLiteral("Table is not open."));
}

QSqlQuery &Table::Private::statement(const QString &sqlText, const QString &context)
{
    const std::string k = sqlText.toStdString();
    auto it = statements.find(k);
    if (it != statements.end())
        return *it->second;
    auto query = std::make_unique<QSqlQuery>(sql());
    // The prepared statements read pages of at most a few thousand rows. On PostgreSQL such a page
    // comes whole in one result; forward-only would make the driver take it row by row (one
    // result object per row, about twice the client's cost).
    query->setForwardOnly(dialect != Dialect::Postgres);
    query->setNumericalPrecisionPolicy(QSql::HighPrecision);
    prepareOrThrow(*query, sqlText, context);
    QSqlQuery &ref = *query;
    statements.emplace(k, std::move(query));
    return ref;
}

QSqlQuery Table::Private::exec(const QString &sqlText, const QVariantList &binds, const QString &context)
{
    return runQuery(sql(), sqlText, binds, context);
}

void Table::Private::plain(const QString &text)
{
    QSqlQuery qq(sql());
    if (!qq.exec(text))
        fail(errorText(qq.lastError()));
}

int Table::Private::fieldIndex(const QString &n) const
{
    for (const auto &f : fields)
        if (f->fieldName().compare(n, Qt::CaseInsensitive) == 0)
            return f->index();
    return -1;
}

void Table::Private::buildFields()
{
    fields.clear();
    for (int i = 0; i < catalog.columns.size(); ++i) {
        const ColumnInfo &c = catalog.columns.at(i);
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
    if (state == s)
        return;
    state = s;
    emit q->stateChanged();
}

void Table::Private::checkBrowseMode()
{
    if (state == TableState::Edit || state == TableState::Insert) {
        if (modified)
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
    if (!keys.complete())
        loadAllKeys();
    savedPos = pos;
    appending = atEnd || pos < 0;
    insertPos = appending ? rowTotal() : pos;
    buffer = QVariantList(int(fields.size()));
    changed = QVector<bool>(int(fields.size()), false);
    modified = false;
    setState(TableState::Insert);
    if (atEnd)
        eof = true;
    emit q->dataChanged();
    emit q->afterScroll();
}

// Re-reads the rows after the filter text or switch changed and moves to the first one.
// If the new filter fails, undo() restores the old setting and its rows come back.
void Table::Private::refilter(const std::function<void()> &undo)
{
    try {
        applyFilter();
        rebuildKeyset();
    } catch (...) {
        undo();
        applyFilter();
        rebuildKeyset();
        moveTo(0);
        throw;
    }
    moveTo(0);
    bof = true;
    eof = pos < 0;
    emit q->dataChanged();
    emit q->afterScroll();
}

// The position of a record of the keyset read before (its id then, and its key values for a
// composite key, whose ids are numbered anew with every keyset); -1 when it is gone.
int Table::Private::locate(qint64 id, const QVariantList &keyValues)
{
    auto find = [&] {
        const qint64 now = key.intKey ? id : keyStore.find(keyValues);
        return now < 0 ? -1 : keys.find(now);
    };
    int at = find();
    if (at < 0 && !keys.complete()) {
        loadAllKeys();
        at = find();
    }
    return at;
}

// The transaction that held this table's writes ended without them: the keyset, the count and
// the values are read again from what is stored. A record being edited stays in edit when it is
// still there (its post then finds it by key); else the edit is given up.
void Table::Private::afterRollback()
{
    if (!active)
        return;
    const bool hadRow = pos >= 0 && pos < loaded();
    const qint64 id = hadRow ? keys.at(pos) : 0;
    const QVariantList keyValues = hadRow && !key.intKey ? keyStore.key(id) : QVariantList();
    auto leaveEdit = [&] {
        buffer.clear();
        modified = false;
        setState(TableState::Browse);
    };
    recordCount = -1;
    try {
        rebuildKeyset();
        const int at = hadRow ? locate(id, keyValues) : -1;
        if (at < 0 && state == TableState::Edit)
            leaveEdit();
        moveTo(at < 0 ? pos : at);
        if (state == TableState::Insert) { // the new row's place in a whole keyset, as insert() takes it
            loadAllKeys();
            insertPos = appending || pos < 0 ? rowTotal() : pos;
        }
    } catch (const std::exception &e) {
        // Read again at the next refresh; until then no record, and no edit of an unknown one.
        qWarning("%s", e.what());
        if (state == TableState::Edit || state == TableState::Insert)
            leaveEdit();
        pos = -1;
    }
    bof = pos <= 0;
    eof = pos < 0;
    emit q->dataChanged();
    emit q->afterScroll();
}

// ---- Table ------------------------------------------------------------------------------

Table::Table(QObject *parent) : Table(Session::defaultSession(), parent) {}

Table::Table(Session &session, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>(this, &session))
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
    if (d->active && name != d->tableName)
        close();
    d->tableName = name;
}

QString Table::tableName() const { return d->tableName; }

void Table::setIndexName(const QString &name)
{
    if (!d->active) {
        d->indexName = name;
        return;
    }
    d->checkBrowseMode();
    const QString previous = d->indexName;
    // The current record stays current in the new order: remembered by its key values, since
    // composite keys are numbered anew with the keyset.
    const bool hadRow = d->pos >= 0;
    const qint64 currentId = hadRow ? d->keys.at(d->pos) : 0;
    const QVariantList currentKey = hadRow && !d->key.intKey ? d->keyStore.key(currentId) : QVariantList();
    d->indexName = name;
    try {
        d->applyOrder();
        d->rebuildKeyset();
    } catch (...) {
        // Back to the old order with its rows, never a new name over an empty keyset.
        d->indexName = previous;
        d->applyOrder();
        d->rebuildKeyset();
        d->moveTo(hadRow ? d->pos : 0);
        throw;
    }
    const int at = hadRow ? d->locate(currentId, currentKey) : -1;
    d->moveTo(at < 0 ? 0 : at);
    d->bof = d->pos <= 0;
    d->eof = d->pos < 0;
    emit dataChanged();
    emit afterScroll();
}

QString Table::indexName() const { return d->indexName; }

void Table::open()
{
    if (d->active)
        return;
    if (d->tableName.isEmpty())
        throw EngineError(QStringLiteral("No table name given."));
    Database *db = d->session ? d->session->findDatabase(d->alias) : nullptr;
    if (!db)
        throw EngineError(QStringLiteral("Database '%1' is not connected.").arg(d->alias));
    d->db = db;
    d->dialect = db->isPostgres() ? Dialect::Postgres : Dialect::Sqlite;
    d->statements.clear();
    d->keyStore.clear();
    d->textOrders.reset();
    try {
        d->catalog = readCatalog(db->sqlDatabase(), d->dialect, d->tableName);
        d->buildFields();
        if (d->fields.empty())
            throw EngineError(QStringLiteral("Table '%1' has no fields.").arg(d->tableName));
        d->key = chooseKey(d->dialect, d->catalog);
        d->canModify = d->key.modifiable && !db->readOnly();
        if (d->key.rowidAliasField >= 0)
            d->fields[size_t(d->key.rowidAliasField)]->m_autoKey = true;
        d->applyOrder();
        d->applyFilter();
        d->recordCount = -1;
        d->rebuildKeyset();
    } catch (...) {
        d->fields.clear();
        d->statements.clear();
        d->db = nullptr;
        throw;
    }
    d->dbConnection = connect(db, &Database::connectedChanged, this, [this](bool on) {
        if (!on)
            close();
    });
    d->rollbackConnection = connect(db, &Database::transactionRolledBack, this, [this] { d->afterRollback(); });
    d->active = true;
    d->state = TableState::Browse;
    d->moveTo(0);
    d->bof = true;
    d->eof = d->pos < 0;
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
    d->state = TableState::Inactive;
    d->modified = false;
    d->buffer.clear();
    d->statements.clear();
    d->dropCache();
    d->keys.reset();
    d->keyStore.clear();
    d->fields.clear();
    d->catalog = TableCatalog();
    d->recordCount = -1;
    d->pos = -1;
    d->bof = d->eof = true;
    d->db = nullptr;
    emit stateChanged();
    emit dataChanged();
}

bool Table::active() const { return d->active; }
int Table::recordCount() const
{
    return d->active ? int(std::min<qint64>(d->records(), std::numeric_limits<int>::max())) : 0;
}
bool Table::canModify() const { return d->active && d->canModify; }
QList<IndexDef> Table::indexDefs() const { return d->catalog.indexes; }
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
    const int i = d->fieldIndex(name);
    return i < 0 ? nullptr : d->fields[size_t(i)].get();
}

QStringList Table::keyFieldNames() const { return d->key.fieldNames; }

QString Table::filter() const { return d->filterText; }

void Table::setFilter(const QString &filter)
{
    if (filter == d->filterText)
        return;
    if (!d->active || !d->filtered) {
        if (d->filtered && !filter.trimmed().isEmpty())
            parseFilter(filter); // report a bad expression now rather than at open()
        d->filterText = filter;
        return;
    }
    d->checkBrowseMode();
    const QString previous = d->filterText;
    d->filterText = filter;
    d->refilter([&] { d->filterText = previous; });
}

bool Table::filtered() const { return d->filtered; }

void Table::setFiltered(bool on)
{
    if (on == d->filtered)
        return;
    if (!d->active) {
        d->filtered = on;
        return;
    }
    d->checkBrowseMode();
    d->filtered = on;
    d->refilter([&] { d->filtered = !on; });
}

void Table::first()
{
    d->requireActive();
    d->checkBrowseMode();
    d->moveTo(0);
    d->bof = true;
    d->eof = d->pos < 0;
    emit afterScroll();
}

void Table::last() { lastInSteps({}); }

void Table::lastInSteps(const std::function<void()> &between)
{
    d->requireActive();
    d->checkBrowseMode();
    if (!between) {
        d->loadAllKeys();
    } else {
        // About 10 ms of keys a step. Pages in the key's order continue after the last key;
        // pages at an offset pass over the keys before it again, so these grow with what is read.
        constexpr int kStep = 20000;
        while (!d->keys.complete()) {
            d->readKeys(d->seekOrder ? kStep : std::max(kStep, d->loaded() / 4));
            between();
        }
    }
    d->moveTo(d->loaded() - 1);
    d->eof = true;
    d->bof = d->pos < 0;
    emit afterScroll();
}

void Table::next()
{
    d->requireActive();
    d->checkBrowseMode();
    if (d->pos >= 0 && d->ensureKey(d->pos + 1)) {
        ++d->pos;
        d->bof = false;
        d->eof = false;
        emit afterScroll();
    } else {
        d->eof = true;
        d->bof = d->pos < 0;
    }
}

void Table::prior()
{
    d->requireActive();
    d->checkBrowseMode();
    if (d->pos > 0) {
        --d->pos;
        d->bof = false;
        d->eof = false;
        emit afterScroll();
    } else {
        d->bof = true;
        d->eof = d->pos < 0;
    }
}

void Table::moveBy(int distance)
{
    d->requireActive();
    if (distance == 0 || d->pos < 0)
        return;
    d->checkBrowseMode();
    const long long target = (long long)d->pos + distance;
    const int old = d->pos;
    const int wanted = int(std::clamp<long long>(target, 0, std::numeric_limits<int>::max() - 1));
    d->ensureKey(wanted);
    const int rows = d->loaded();
    d->moveTo(std::min(wanted, rows - 1));
    d->bof = target < 0 || d->pos < 0;
    d->eof = target >= rows || d->pos < 0;
    if (d->pos != old)
        emit afterScroll();
}

bool Table::bof() const { return d->bof; }
bool Table::eof() const { return d->eof; }

int Table::recNo() const
{
    if (!d->active || d->state == TableState::Insert || d->pos < 0)
        return -1;
    return d->pos + 1;
}

void Table::setRecNo(int recNo)
{
    d->requireActive();
    d->checkBrowseMode();
    if (d->pos < 0)
        return;
    const int old = d->pos;
    d->moveTo(recNo - 1);
    d->bof = d->pos == 0;
    d->eof = false;
    if (d->pos != old)
        emit afterScroll();
}

int Table::rowCount() const { return d->active ? d->rowTotal() : 0; }

bool Table::isEmpty() const
{
    return !d->active || (d->loaded() == 0 && (d->keys.complete() || !d->ensureKey(0)));
}

bool Table::rowCountKnown() const
{
    return !d->active || d->keys.complete() || !d->where.isEmpty() || d->recordCount >= 0;
}

int Table::rowsRead() const { return d->active ? d->loaded() : 0; }

bool Table::hasMoreRows() const
{
    return d->active && !d->keys.complete() && !d->where.isEmpty();
}

void Table::fetchMoreRows()
{
    if (hasMoreRows())
        d->readMoreKeys();
}

void Table::edit()
{
    d->requireActive();
    if (d->state == TableState::Edit || d->state == TableState::Insert)
        return;
    if (!d->canModify)
        throw EngineError(QStringLiteral("Cannot modify a read-only table."));
    if (d->pos < 0) {
        append();
        return;
    }
    d->buffer = d->row(d->pos);
    d->original = d->buffer;
    d->changed = QVector<bool>(int(d->fields.size()), false);
    d->modified = false;
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
    if (d->state == TableState::Edit) {
        d->requireRequired(false);
        d->postEdit();
    } else if (d->state == TableState::Insert) {
        d->requireRequired(true);
        d->postInsert();
        d->bof = false;
        d->eof = false;
    } else {
        return;
    }
    d->modified = false;
    emit dataChanged();
    emit afterScroll();
}

void Table::cancel()
{
    if (d->state != TableState::Edit && d->state != TableState::Insert)
        return;
    const bool inserting = d->state == TableState::Insert;
    d->buffer.clear();
    d->modified = false;
    d->setState(TableState::Browse);
    if (inserting) {
        d->moveTo(d->savedPos < 0 ? 0 : d->savedPos);
        d->eof = d->pos < 0;
        d->bof = d->pos <= 0;
    }
    emit dataChanged();
    if (inserting)
        emit afterScroll();
}

void Table::deleteRecord()
{
    d->requireActive();
    if (d->state == TableState::Insert) {
        cancel();
        return;
    }
    if (!d->canModify)
        throw EngineError(QStringLiteral("Cannot modify a read-only table."));
    if (d->pos < 0)
        throw EngineError(QStringLiteral("Cannot delete: the table has no records."));
    if (d->state == TableState::Edit) {
        d->buffer.clear();
        d->modified = false;
        d->setState(TableState::Browse);
    }
    d->deleteCurrent();
    d->ensureKey(d->pos);
    if (d->loaded() == 0) {
        d->pos = -1;
        d->bof = d->eof = true;
    } else {
        d->moveTo(std::min(d->pos, d->loaded() - 1));
        d->eof = false;
        d->bof = d->pos == 0;
    }
    emit dataChanged();
    emit afterScroll();
}

void Table::refresh()
{
    d->requireActive();
    d->checkBrowseMode();
    const int old = d->pos;
    d->statements.clear(); // the table's structure may have changed too; statements re-prepare
    d->recordCount = -1;
    d->rebuildKeyset();
    d->moveTo(old < 0 ? 0 : old);
    d->bof = d->pos <= 0;
    d->eof = d->pos < 0;
    emit dataChanged();
    emit afterScroll();
}

TableState Table::state() const { return d->state; }
bool Table::modified() const { return d->modified; }

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
    if (d->state == TableState::Insert)
        return d->insertPos;
    return d->pos;
}

QVariant Table::valueAt(int row, int fieldIndex)
{
    if (!d->active || fieldIndex < 0 || fieldIndex >= int(d->fields.size()))
        return {};
    if (d->state == TableState::Insert) {
        if (row == d->insertPos)
            return d->buffer.at(fieldIndex);
        if (row > d->insertPos)
            --row;
    } else if (d->state == TableState::Edit && row == d->pos) {
        return d->buffer.at(fieldIndex);
    }
    if (row < 0 || !d->ensureKey(row))
        return {};
    return d->row(row).at(fieldIndex);
}

QString Table::textAt(int row, int fieldIndex)
{
    if (!d->active || fieldIndex < 0 || fieldIndex >= int(d->fields.size()))
        return {};
    return valueToText(d->fields[size_t(fieldIndex)]->dataType(), valueAt(row, fieldIndex));
}

const QVariant &Table::currentValue(int fieldIndex) const
{
    static const QVariant none;
    if (d->state == TableState::Edit || d->state == TableState::Insert)
        return fieldIndex >= 0 && fieldIndex < d->buffer.size() ? d->buffer.at(fieldIndex) : none;
    if (!d->active || d->pos < 0)
        return none;
    const QVariantList &r = d->row(d->pos);
    return fieldIndex >= 0 && fieldIndex < r.size() ? r.at(fieldIndex) : none;
}

void Table::setCurrentValue(int fieldIndex, const QVariant &value)
{
    if (d->state != TableState::Edit && d->state != TableState::Insert)
        throw EngineError(QStringLiteral("Table is not in edit or insert mode."));
    const Field *f = d->fields[size_t(fieldIndex)].get();
    if (f->readOnly())
        throw EngineError(QStringLiteral("Field '%1' cannot be modified.").arg(f->fieldName()));
    d->buffer[fieldIndex] = value;
    d->changed[fieldIndex] = true;
    d->modified = true;
    emit fieldChanged(fieldIndex);
}

bool Table::isIndexField(int fieldIndex) const
{
    if (!d->active)
        return false;
    const QString n = d->fields[size_t(fieldIndex)]->fieldName();
    for (const QString &f : d->indexFields)
        if (f.compare(n, Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

Database *Table::database() const { return d->db; }

void Table::scanStatement(QString &sql, QVariantList &binds) const
{
    d->requireActive();
    QStringList cols;
    for (const ColumnInfo &c : d->catalog.columns)
        cols << readExpression(d->dialect, c);
    sql = QStringLiteral("SELECT %1 FROM %2").arg(cols.join(QLatin1String(", ")), d->catalog.from);
    if (!d->where.isEmpty())
        sql += QLatin1String(" WHERE ") + d->where;
    sql += QLatin1String(" ORDER BY ") + d->orderBy;
    binds = d->whereBinds;
}

} // namespace pelldrake::engine
