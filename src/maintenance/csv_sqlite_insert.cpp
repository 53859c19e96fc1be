// SQLite's INSERT for the CSV import: see csv_sqlite_insert.h.
#include "maintenance/csv_sqlite_insert.h"

#include "engine/date_time_text.h"
#include "engine/database.h"
#include "engine/session.h"
#include "engine/sql_util.h"
#include "engine/sqlite_handle.h"
#include "engine/values.h"

#include <QDate>

#include <sqlite3.h>

namespace pelldrake::maintenance {

SqliteInsert::SqliteInsert(engine::Database &database, const QString &table, const QStringList &columns)
{
    db_ = engine::sqliteHandle(database.sqlDatabase());
    if (!db_ || columns.isEmpty())
        return;
    QStringList quoted;
    QStringList marks;
    for (const QString &c : columns) {
        quoted << engine::quoteIdent(c);
        marks << QStringLiteral("?");
    }
    const QByteArray sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(engine::quoteIdent(table), quoted.join(QStringLiteral(", ")),
                                    marks.join(QStringLiteral(", ")))
                               .toUtf8();
    if (sqlite3_prepare_v2(db_, sql.constData(), int(sql.size()), &stmt_, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr; // the appender prepares it again and says why it cannot
    }
}

SqliteInsert::~SqliteInsert()
{
    sqlite3_finalize(stmt_);
}

void SqliteInsert::bindText(int column, QByteArrayView utf8)
{
    // Not copied: the bytes stay where they are until step() (see the header).
    sqlite3_bind_text(stmt_, column + 1, utf8.data() ? utf8.data() : "", int(utf8.size()), SQLITE_STATIC);
}

void SqliteInsert::bindInteger(int column, qint64 value)
{
    sqlite3_bind_int64(stmt_, column + 1, value);
}

void SqliteInsert::bindNull(int column)
{
    sqlite3_bind_null(stmt_, column + 1);
}

bool SqliteInsert::bindValue(int column, int type, const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QDate) {
        char text[10];
        if (engine::writeIsoDate(value.toDate(), text))
            return sqlite3_bind_text(stmt_, column + 1, text, 10, SQLITE_TRANSIENT) == SQLITE_OK;
    }
    const QVariant stored = engine::toStorage(type, value, engine::Dialect::Sqlite);
    if (engine::bindLikeDriver(stmt_, column + 1, stored))
        return true;
    if (stored.isNull())
        return sqlite3_bind_null(stmt_, column + 1) == SQLITE_OK;
    const QByteArray text = stored.toString().toUtf8(); // a kind the driver would bind as its text
    return sqlite3_bind_text(stmt_, column + 1, text.constData(), int(text.size()), SQLITE_TRANSIENT) == SQLITE_OK;
}

bool SqliteInsert::step(QString &error)
{
    const int rc = sqlite3_step(stmt_);
    if (rc != SQLITE_DONE)
        error = QStringLiteral("Cannot insert the record: ") + engine::sqliteError(db_);
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    return rc == SQLITE_DONE;
}

} // namespace pelldrake::maintenance
