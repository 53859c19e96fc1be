#include "engine/sqlite_handle.h"

#include <QSqlDriver>

#include <sqlite3.h>

namespace pelldrake::engine {

sqlite3 *sqliteHandle(const QSqlDatabase &db)
{
    // Only where the Qt SQLite driver links the system's library, the one linked here (see
    // PELLDRAKE_SQLITE_DIRECT): a handle of a private copy inside the driver would be driven by
    // another copy's code.
    if (!PELLDRAKE_SQLITE_DIRECT)
        return nullptr;
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(handle.constData());
}

bool bindLikeDriver(sqlite3_stmt *stmt, int position, const QVariant &value)
{
    // A typed null (an int without a value) is bound as null by the driver: left to it.
    if (value.isNull() && value.isValid())
        return false;
    int rc = SQLITE_MISUSE;
    switch (value.metaType().id()) {
    case QMetaType::UnknownType:
        rc = sqlite3_bind_null(stmt, position);
        break;
    case QMetaType::QString: {
        const QString *s = static_cast<const QString *>(value.constData());
        rc = s->isNull() ? sqlite3_bind_null(stmt, position)
                         : sqlite3_bind_text16(stmt, position, s->utf16(), int(s->size() * 2), SQLITE_TRANSIENT);
        break;
    }
    case QMetaType::QByteArray: {
        const QByteArray *b = static_cast<const QByteArray *>(value.constData());
        rc = b->isNull() ? sqlite3_bind_null(stmt, position)
                         : sqlite3_bind_blob(stmt, position, b->constData(), int(b->size()), SQLITE_TRANSIENT);
        break;
    }
    case QMetaType::Int:
    case QMetaType::Bool:
        rc = sqlite3_bind_int(stmt, position, value.toInt());
        break;
    case QMetaType::UInt:
    case QMetaType::LongLong:
        rc = sqlite3_bind_int64(stmt, position, value.toLongLong());
        break;
    case QMetaType::Double:
        rc = sqlite3_bind_double(stmt, position, value.toDouble());
        break;
    default:
        return false;
    }
    return rc == SQLITE_OK;
}

QString sqliteError(sqlite3 *connection)
{
    return QString::fromUtf8(sqlite3_errmsg(connection));
}

} // namespace pelldrake::engine
