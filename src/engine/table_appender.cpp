// The bulk write path for long appends (loading a dump): see table_appender.h.
#include "engine/table_appender.h"

#include "engine/database.h"
#include "engine/row_scan.h"
#include "engine/sqlite_handle.h"
#include "engine/engine_error.h"
#include "engine/query_shape.h"
#include "engine/table.h"
#include "engine/table_internals.h"
#include "engine/table_statements.h"

#include <sqlite3.h>

#include <exception>

namespace pelldrake::engine {

namespace {
const QString kSavepoint = QStringLiteral("pelldrake_bulk");
const QString kInsertContext = QStringLiteral("Cannot insert the record");
} // namespace

TableAppender::TableAppender(Table &table, int batchSize)
    : m_table(&table), m_batchSize(batchSize)
{
}

TableAppender::~TableAppender()
{
    m_between = nullptr; // no event handling while an error may be on its way out
    // Nothing may leave a destructor, whatever it is; a failed commit has been rolled back.
    try {
        finish();
    } catch (const std::exception &e) {
        qWarning("%s", e.what());
    } catch (...) {
        qWarning("TableAppender: the commit failed.");
    }
    finalizeDirect();
}

void TableAppender::begin()
{
    const TableInternals t(*m_table);
    t.requireActive();
    if (!m_started) {
        t.finishEdit(); // a pending edit is posted first, as append() does
        m_postgres = t.shape().dialect == Dialect::Postgres;
        if (m_batchSize <= 0)
            m_batchSize = m_postgres ? 5000 : 50000;
        m_sqlite = m_postgres ? nullptr : sqliteHandle(t.statements().sql());
        m_started = true;
    }
    // Appending needs no row identity: a PostgreSQL table without a key (browsed by its row
    // address, never updated) takes new records like any other.
    if (!t.canModify() && (t.database()->readOnly() || !m_postgres))
        throw EngineError(QStringLiteral("Cannot modify a read-only table."));
    m_buffer = QVariantList(int(t.fields().size()));
    m_changed = QVector<bool>(int(t.fields().size()), false);
    m_inRecord = true;
}

void TableAppender::setText(int fieldIndex, const QString &text)
{
    const Field &f = *TableInternals(*m_table).fields()[size_t(fieldIndex)];
    store(fieldIndex, textToValue(f.dataType(), text, f.fieldName()));
}

void TableAppender::setValue(int fieldIndex, const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QString)
        setText(fieldIndex, value.toString());
    else
        store(fieldIndex, value);
}

// The checks of Table::setCurrentValue, in its order.
void TableAppender::store(int fieldIndex, const QVariant &value)
{
    const Field &f = *TableInternals(*m_table).fields()[size_t(fieldIndex)];
    if (!m_inRecord)
        throw EngineError(QStringLiteral("Table is not in edit or insert mode."));
    if (f.readOnly())
        throw EngineError(QStringLiteral("Field '%1' cannot be modified.").arg(f.fieldName()));
    m_buffer[fieldIndex] = value;
    m_changed[fieldIndex] = true;
}

bool TableAppender::hasValues() const
{
    return m_inRecord && m_changed.contains(true);
}

void TableAppender::add()
{
    m_failedRecord = -1;
    if (!m_inRecord)
        throw EngineError(QStringLiteral("Table is not in edit or insert mode."));
    m_inRecord = false;
    const TableInternals t(*m_table);
    t.requireValues(m_buffer, m_changed);
    // Records of one file set the same columns: the statement text is built once.
    if (m_lastSql.isEmpty() || m_changed != m_lastColumns) {
        QStringList cols;
        QStringList marks;
        for (const auto &f : t.fields()) {
            if (!m_changed.at(f->index()))
                continue;
            cols << quoteIdent(f->fieldName());
            marks << QStringLiteral("?");
        }
        sendGroup(); // a group shares its columns
        m_lastSql = cols.isEmpty()
            ? QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(t.shape().catalog.from)
            : QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(t.shape().catalog.from, cols.join(QLatin1String(", ")), marks.join(QLatin1String(", ")));
        m_lastTuple = cols.isEmpty() ? QString() : QLatin1Char('(') + marks.join(QLatin1String(", ")) + QLatin1Char(')');
        m_lastColumns = m_changed;
        prepareDirectly();
    }
    QVariantList binds;
    binds.reserve(m_buffer.size());
    for (int i = 0; i < m_buffer.size(); ++i)
        if (m_changed.at(i))
            binds << storageValue(i, m_buffer.at(i));

    if (!m_batchOpen)
        openBatch();
    if (m_postgres) {
        // Sent with the next records of the group, in one statement.
        m_group.push_back({m_lastSql, binds});
    } else {
        try {
            insert(m_lastSql, binds);
        } catch (const EngineError &) {
            m_failedRecord = m_added;
            throw;
        }
    }
    ++m_added;
    t.recordsAdded(1);
    if (m_lastTuple.isEmpty() || m_group.size() * size_t(binds.size()) >= size_t(kGroupValues)
        || m_group.size() >= size_t(kGroupRows))
        sendGroup();
    if (++m_inBatch >= m_batchSize)
        closeBatch();
}

// PostgreSQL: the records added since the last statement, in one INSERT of many rows (one round
// trip to the server instead of one per record). When it fails, the batch is written again as
// before, the group's records one at a time: those before the failing record stay, the failing
// one throws its own error, as if every record had gone alone.
void TableAppender::sendGroup()
{
    if (m_group.empty())
        return;
    std::vector<Pending> group;
    group.swap(m_group);
    const qint64 first = m_added - qint64(group.size());
    auto lose = [&](size_t from) { // records counted in add() that are not in the table
        m_added -= qint64(group.size() - from);
        TableInternals(*m_table).recordsAdded(-qint64(group.size() - from));
    };
    if (group.size() > 1) {
        QString sql = group.front().sql;
        QVariantList binds = group.front().binds;
        sql.reserve(sql.size() + qsizetype(group.size()) * (m_lastTuple.size() + 2));
        for (size_t i = 1; i < group.size(); ++i) {
            sql += QLatin1String(", ") + m_lastTuple;
            binds += group[i].binds;
        }
        try {
            insert(sql, binds);
            m_pending.insert(m_pending.end(), group.begin(), group.end());
            return;
        } catch (const EngineError &) {
            recover();
            if (!m_batchOpen) { // the batch could not be restored: lost with its transaction
                lose(0);
                m_failedRecord = first;
                throw;
            }
        }
    }
    for (size_t i = 0; i < group.size(); ++i) {
        try {
            insert(group[i].sql, group[i].binds);
        } catch (const EngineError &) {
            recover();
            lose(m_batchOpen ? i : 0);
            m_failedRecord = first + qint64(i);
            throw;
        }
        m_pending.push_back(group[i]);
    }
}

// RowWriter::bindable(); a date's text written here (QDate::toString costs more than the
// insert's own share of the work).
QVariant TableAppender::storageValue(int fieldIndex, const QVariant &value) const
{
    const TableInternals t(*m_table);
    if (value.metaType().id() == QMetaType::QDate && t.fields()[size_t(fieldIndex)]->dataType() == ftDate) {
        int y = 0, m = 0, day = 0;
        value.toDate().getDate(&y, &m, &day);
        if (y >= 1 && y <= 9999) {
            const char16_t text[10] = {char16_t(u'0' + y / 1000), char16_t(u'0' + y / 100 % 10),
                                       char16_t(u'0' + y / 10 % 10), char16_t(u'0' + y % 10), u'-',
                                       char16_t(u'0' + m / 10), char16_t(u'0' + m % 10), u'-',
                                       char16_t(u'0' + day / 10), char16_t(u'0' + day % 10)};
            return QString(reinterpret_cast<const QChar *>(text), 10);
        }
    }
    return t.bindable(fieldIndex, value);
}

void TableAppender::prepareDirectly()
{
    finalizeDirect();
    if (!m_sqlite)
        return;
    const QByteArray text = m_lastSql.toUtf8();
    if (sqlite3_prepare_v2(m_sqlite, text.constData(), int(text.size()), &m_direct, nullptr) != SQLITE_OK)
        finalizeDirect(); // Qt SQL prepares it again and reports why it cannot
}

void TableAppender::finalizeDirect()
{
    sqlite3_finalize(m_direct);
    m_direct = nullptr;
}

bool TableAppender::insertDirectly(const QVariantList &binds)
{
    if (!m_direct || sqlite3_bind_parameter_count(m_direct) != binds.size())
        return false;
    sqlite3_reset(m_direct);
    for (int i = 0; i < binds.size(); ++i)
        if (!bindLikeDriver(m_direct, i + 1, binds.at(i)))
            return false;
    const int rc = sqlite3_step(m_direct);
    const QString reason = rc == SQLITE_DONE ? QString() : sqliteError(m_sqlite);
    sqlite3_reset(m_direct); // done with: nothing pending at the next commit
    if (rc != SQLITE_DONE)
        throw EngineError(kInsertContext + QLatin1String(": ") + reason);
    return true;
}

void TableAppender::insert(const QString &sql, const QVariantList &binds)
{
    if (sql == m_lastSql && insertDirectly(binds))
        return;
    QSqlQuery &qq = TableInternals(*m_table).statements().statement(sql, kInsertContext);
    for (int i = 0; i < binds.size(); ++i)
        qq.bindValue(i, binds.at(i));
    execOrThrow(qq, kInsertContext);
    qq.finish();
}

// A failed statement aborts a PostgreSQL transaction: back to the batch's savepoint, then the
// records that were written since are written again, so only the failing one is missing.
void TableAppender::recover()
{
    const TableInternals t(*m_table);
    try {
        t.statements().plain(QStringLiteral("ROLLBACK TO SAVEPOINT ") + kSavepoint);
        for (const Pending &p : m_pending)
            insert(p.sql, p.binds);
    } catch (const EngineError &e) {
        // The batch cannot be restored; it is lost with its transaction. The original error is
        // still the one the caller reports.
        qWarning("%s", qPrintable(e.message()));
        m_added -= qint64(m_pending.size());
        m_pending.clear();
        m_batchOpen = false;
        m_inBatch = 0;
        if (m_ownsTransaction) {
            m_ownsTransaction = false;
            try {
                t.database()->rollback();
            } catch (const EngineError &) {
            }
        }
        t.recordCountUnknown(); // counted again
    }
}

void TableAppender::openBatch()
{
    const TableInternals t(*m_table);
    if (!t.database()->inTransaction()) {
        t.database()->startTransaction();
        m_ownsTransaction = true;
    }
    if (m_postgres)
        t.statements().plain(QStringLiteral("SAVEPOINT ") + kSavepoint);
    m_batchOpen = true;
    m_inBatch = 0;
    m_pending.clear();
}

void TableAppender::closeBatch()
{
    if (!m_batchOpen)
        return;
    // A record of the last group failing: the records before it are committed all the same.
    std::exception_ptr failure;
    try {
        sendGroup();
    } catch (const EngineError &) {
        failure = std::current_exception();
    }
    const TableInternals t(*m_table);
    if (m_batchOpen) {
        m_batchOpen = false;
        m_inBatch = 0;
        m_pending.clear();
        if (m_postgres && !m_ownsTransaction)
            t.statements().plain(QStringLiteral("RELEASE SAVEPOINT ") + kSavepoint);
        if (m_ownsTransaction) {
            m_ownsTransaction = false;
            try {
                t.database()->commit(); // a failure rolls the batch back and re-reads the table
            } catch (const EngineError &) {
                m_failedRecord = -1; // the whole batch, not one record
                throw;
            }
        }
    }
    if (failure)
        std::rethrow_exception(failure);
}

void TableAppender::finish()
{
    m_failedRecord = -1;
    m_inRecord = false;
    finalizeDirect();
    m_lastSql.clear(); // prepared again if more records follow
    if (!m_table->active() || !m_table->database())
        return;
    if (m_batchOpen)
        closeBatch();
    if (m_added == 0)
        return;
    m_added = 0;
    m_table->refresh();
    m_table->lastInSteps(m_between);
}

} // namespace pelldrake::engine
