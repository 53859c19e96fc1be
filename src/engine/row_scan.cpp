#include "engine/row_scan.h"

#include "engine/database.h"
#include "engine/date_time_text.h"
#include "engine/engine_error.h"
#include "engine/field.h"
#include "engine/session.h"
#include "engine/sql_util.h"
#include "engine/sqlite_handle.h"
#include "engine/table.h"
#include "engine/table_internals.h"
#include "engine/table_private.h"
#include "engine/values.h"

#include <QAtomicInt>
#include <QSqlQuery>
#include <QVector>

#include <sqlite3.h>

#include <charconv>
#include <cstring>
#include <vector>

namespace pelldrake::engine {

namespace {

const QString kContext = QStringLiteral("Cannot read the records");

// True when UTF-8 text comes out byte for byte the same after SQLite's conversion to UTF-16
// (what Qt SQL reads) and back to UTF-8: well-formed UTF-8 without U+FFFE and U+FFFF, which
// SQLite turns into U+FFFD like any malformed sequence.
bool keepsItsBytes(const unsigned char *s, qsizetype n)
{
    qsizetype i = 0;
    while (i < n) {
        if (i + 8 <= n) { // plain ASCII eight bytes at a time
            quint64 w;
            std::memcpy(&w, s + i, 8);
            if (!(w & 0x8080808080808080ull)) {
                i += 8;
                continue;
            }
        }
        const unsigned c = s[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int len = 0;
        unsigned lo = 0x80, hi = 0xBF; // the second byte's range
        if (c >= 0xC2 && c <= 0xDF) {
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            len = 3;
            if (c == 0xE0)
                lo = 0xA0; // no overlong forms
            else if (c == 0xED)
                hi = 0x9F; // no surrogates
        } else if (c >= 0xF0 && c <= 0xF4) {
            len = 4;
            if (c == 0xF0)
                lo = 0x90;
            else if (c == 0xF4)
                hi = 0x8F; // nothing above U+10FFFF
        } else {
            return false;
        }
        if (i + len > n || s[i + 1] < lo || s[i + 1] > hi)
            return false;
        for (int k = 2; k < len; ++k)
            if ((s[i + k] & 0xC0) != 0x80)
                return false;
        if (c == 0xEF && s[i + 1] == 0xBF && s[i + 2] >= 0xBE)
            return false;
        i += len;
    }
    return true;
}

// A date stored in its canonical form, which valueToText passes on unchanged.
bool isCanonicalDate(const unsigned char *s, int n)
{
    if (n != 10)
        return false;
    char16_t wide[10];
    for (int i = 0; i < 10; ++i) {
        if (s[i] >= 0x80)
            return false;
        wide[i] = char16_t(s[i]);
    }
    QDate date;
    return parseDateText(QStringView(wide, 10), date);
}

} // namespace

struct RowScan::Private {
    QString ownConnection; // PostgreSQL: the scan's own connection, removed at the end
    QSqlQuery query;       // the rows through Qt SQL
    sqlite3 *connection = nullptr;
    sqlite3_stmt *stmt = nullptr; // the rows through the SQLite handle
    bool direct = false;
    QVector<int> types;
    mutable std::vector<QByteArray> converted; // utf8() of values that need converting
    qint64 rows = 0;
    bool atRow = false;
    bool done = false;

    bool prepareDirect(const QSqlDatabase &db, const QString &sql, const QVariantList &binds);
    void finalize()
    {
        sqlite3_finalize(stmt);
        stmt = nullptr;
    }
    // The value as Qt's SQLite driver gives it, for the conversions shared with the other path.
    QVariant driverValue(int field) const;
    QByteArrayView convert(int field, const QString &text) const
    {
        QByteArray &out = converted[size_t(field)];
        out = text.toUtf8();
        return out;
    }
};

// Prepares the scan on the SQLite connection's own handle. False when there is none (another
// SQLite than the one linked here) or the statement or a bound value is one the driver path
// handles (and reports) better; the scan then goes through Qt SQL.
bool RowScan::Private::prepareDirect(const QSqlDatabase &db, const QString &sql, const QVariantList &binds)
{
    connection = sqliteHandle(db);
    if (!connection)
        return false;
    const QByteArray text = sql.toUtf8();
    bool ok = sqlite3_prepare_v2(connection, text.constData(), int(text.size()), &stmt, nullptr) == SQLITE_OK
        && sqlite3_bind_parameter_count(stmt) == binds.size();
    for (int i = 0; ok && i < binds.size(); ++i)
        ok = bindLikeDriver(stmt, i + 1, binds.at(i));
    if (!ok) {
        finalize();
        return false;
    }
    direct = true;
    return true;
}

QVariant RowScan::Private::driverValue(int field) const
{
    switch (sqlite3_column_type(stmt, field)) {
    case SQLITE_NULL:
        return QVariant(QMetaType::fromType<QString>());
    case SQLITE_INTEGER:
        return QVariant(qlonglong(sqlite3_column_int64(stmt, field)));
    case SQLITE_FLOAT: // read as a double, like the driver path below
        return QVariant(sqlite3_column_double(stmt, field));
    case SQLITE_BLOB: {
        const char *bytes = static_cast<const char *>(sqlite3_column_blob(stmt, field));
        return QByteArray(bytes, sqlite3_column_bytes(stmt, field));
    }
    default: {
        const auto *chars = static_cast<const QChar *>(sqlite3_column_text16(stmt, field));
        return QString(chars, sqlite3_column_bytes16(stmt, field) / 2);
    }
    }
}

RowScan::RowScan(Table &table, Reading reading) : d(std::make_unique<Private>())
{
    if (!table.active() || !table.database())
        throw EngineError(QStringLiteral("Table is not open."));
    QString sql;
    QVariantList binds;
    TableInternals(table).scanStatement(sql, binds);
    d->types.reserve(table.fieldCount());
    for (int i = 0; i < table.fieldCount(); ++i)
        d->types << table.field(i)->dataType();
    d->converted.resize(size_t(d->types.size()));
    QSqlDatabase db = table.database()->sqlDatabase();
    if (table.database()->isSqlite() && reading == Reading::Direct && d->prepareDirect(db, sql, binds))
        return;
    if (table.database()->isPostgres()) {
        // The rows stream from the server one at a time; any other statement on the same
        // connection (a grid repainting during the dump) would end that stream. A connection of
        // its own, with the same login, keeps the scan whole.
        static QAtomicInt counter;
        d->ownConnection = db.connectionName() + QStringLiteral("_scan%1").arg(counter.fetchAndAddRelaxed(1));
        QSqlDatabase own = QSqlDatabase::cloneDatabase(db, d->ownConnection);
        if (!own.open()) {
            const QString reason = errorText(own.lastError());
            own = QSqlDatabase();
            QSqlDatabase::removeDatabase(d->ownConnection);
            d->ownConnection.clear();
            throw EngineError(kContext + QLatin1String(": ") + reason);
        }
        db = own;
    }
    d->query = QSqlQuery(db);
    d->query.setForwardOnly(true);
    // SQLite reals are doubles: read as such, not as text to be parsed again. PostgreSQL numerics
    // need the text to stay exact.
    d->query.setNumericalPrecisionPolicy(table.database()->isSqlite() ? QSql::LowPrecisionDouble
                                                                     : QSql::HighPrecision);
    prepareOrThrow(d->query, sql, kContext);
    for (int i = 0; i < binds.size(); ++i)
        d->query.bindValue(i, binds.at(i));
    execOrThrow(d->query, kContext);
}

RowScan::~RowScan()
{
    d->finalize();
    if (d->ownConnection.isEmpty())
        return;
    d->query = QSqlQuery();
    QSqlDatabase::database(d->ownConnection, false).close();
    QSqlDatabase::removeDatabase(d->ownConnection);
}

bool RowScan::next()
{
    if (d->done)
        return false;
    if (d->stmt) {
        const int rc = sqlite3_step(d->stmt);
        d->atRow = rc == SQLITE_ROW;
        if (!d->atRow) {
            d->done = true;
            const QString reason = rc == SQLITE_DONE ? QString() : sqliteError(d->connection);
            d->finalize(); // ends the read at once, as finish() does below
            if (rc != SQLITE_DONE)
                throw EngineError(kContext + QLatin1String(": ") + reason);
            return false;
        }
        ++d->rows;
        return true;
    }
    d->atRow = d->query.next();
    if (!d->atRow) {
        d->done = true;
        // A stream cut short (another statement on the connection, a lost server) is an error,
        // never a silent end of the rows.
        if (d->query.lastError().isValid())
            throw EngineError(kContext + QLatin1String(": ") + errorText(d->query.lastError()));
        d->query.finish();
        return false;
    }
    ++d->rows;
    return true;
}

int RowScan::fieldCount() const { return int(d->types.size()); }

bool RowScan::isNull(int field) const
{
    if (!d->atRow)
        return true;
    if (d->stmt)
        return field < 0 || field >= d->types.size() || sqlite3_column_type(d->stmt, field) == SQLITE_NULL;
    return d->query.isNull(field);
}

QString RowScan::text(int field) const
{
    if (!d->atRow || field < 0 || field >= d->types.size())
        return {};
    return valueToText(d->types.at(field), d->stmt ? d->driverValue(field) : d->query.value(field));
}

QByteArrayView RowScan::utf8(int field) const
{
    if (!d->atRow || field < 0 || field >= d->types.size())
        return {};
    if (!d->stmt)
        return d->convert(field, text(field));
    // The values whose text is what SQLite holds (or a number written here); anything else is
    // converted as text() does.
    sqlite3_stmt *stmt = d->stmt;
    const int type = d->types.at(field);
    switch (sqlite3_column_type(stmt, field)) {
    case SQLITE_NULL:
        return {};
    case SQLITE_INTEGER:
        if (type != ftBoolean) {
            QByteArray &out = d->converted[size_t(field)];
            out.resize(24);
            const auto end = std::to_chars(out.data(), out.data() + out.size(), sqlite3_column_int64(stmt, field)).ptr;
            out.resize(end - out.data());
            return out;
        }
        break;
    case SQLITE_TEXT: {
        const unsigned char *s = sqlite3_column_text(stmt, field);
        const int n = sqlite3_column_bytes(stmt, field);
        if (isTextType(type) ? keepsItsBytes(s, n) : type == ftDate && isCanonicalDate(s, n))
            return QByteArrayView(reinterpret_cast<const char *>(s), n);
        break;
    }
    case SQLITE_BLOB:
        if (isBinaryType(type)) {
            const char *bytes = static_cast<const char *>(sqlite3_column_blob(stmt, field));
            QByteArray &out = d->converted[size_t(field)];
            out = QByteArray::fromRawData(bytes, sqlite3_column_bytes(stmt, field)).toHex();
            return out;
        }
        break;
    default:
        break;
    }
    return d->convert(field, valueToText(type, d->driverValue(field)));
}

QVariant RowScan::value(int field) const
{
    if (!d->atRow || field < 0 || field >= d->types.size())
        return {};
    return fromStorage(d->types.at(field), d->stmt ? d->driverValue(field) : d->query.value(field));
}

qint64 RowScan::rowsRead() const { return d->rows; }

bool RowScan::readsDirectly() const { return d->direct; }

} // namespace pelldrake::engine
