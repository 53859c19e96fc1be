#include "compare/row_reader.h"

#include "engine/engine_error.h"
#include "engine/sqlite_handle.h"

#include <QAtomicInt>
#include <QSqlDriver>
#include <QSqlQuery>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace pelldrake::compare {

using engine::EngineError;
using engine::quoteIdent;

namespace {

QString readError(const Shape &shape, const QString &reason)
{
    return QStringLiteral("Cannot read the rows of %1: %2").arg(shape.name, reason.trimmed());
}

QString sqliteSelect(const Shape &shape, const QList<int> &columns, const QList<int> &orderBy)
{
    QStringList names, terms;
    for (int c : columns)
        names << quoteIdent(shape.columns[c].name);
    // BINARY: the bytes, whatever collation the column declares; NULL sorts first in SQLite.
    for (int o : orderBy)
        terms << names[o] + QStringLiteral(" COLLATE BINARY");
    QString sql = QStringLiteral("SELECT %1 FROM %2").arg(names.join(QStringLiteral(", ")), shape.from);
    if (!terms.isEmpty())
        sql += QStringLiteral(" ORDER BY ") + terms.join(QStringLiteral(", "));
    return sql;
}

class SqliteReader final : public RowReader {
public:
    SqliteReader(sqlite3 *db, const Shape &shape, const QList<int> &columns, const QList<int> &orderBy) : shape_(shape)
    {
        const QByteArray sql = sqliteSelect(shape, columns, orderBy).toUtf8();
        if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &stmt_, nullptr) != SQLITE_OK) {
            const QString reason = engine::sqliteError(db);
            sqlite3_finalize(stmt_);
            throw EngineError(readError(shape, reason));
        }
        db_ = db;
        row_.resize(size_t(columns.size()));
    }
    ~SqliteReader() override { sqlite3_finalize(stmt_); }

    bool next() override
    {
        if (!stmt_)
            return false;
        const int rc = sqlite3_step(stmt_);
        if (rc != SQLITE_ROW) {
            sqlite3_finalize(stmt_);
            stmt_ = nullptr;
            if (rc != SQLITE_DONE)
                throw EngineError(readError(shape_, engine::sqliteError(db_)));
            return false;
        }
        for (int i = 0; i < int(row_.size()); ++i) {
            Value &v = row_[size_t(i)];
            switch (sqlite3_column_type(stmt_, i)) {
            case SQLITE_NULL:
                v.setNull();
                break;
            case SQLITE_INTEGER:
                v.setInt(sqlite3_column_int64(stmt_, i));
                break;
            case SQLITE_FLOAT:
                v.setReal(sqlite3_column_double(stmt_, i));
                break;
            case SQLITE_BLOB: {
                const void *bytes = sqlite3_column_blob(stmt_, i);
                v.setBytes(Kind::Blob, static_cast<const char *>(bytes), size_t(sqlite3_column_bytes(stmt_, i)));
                break;
            }
            default: {
                const unsigned char *text = sqlite3_column_text(stmt_, i);
                v.setBytes(Kind::Text, reinterpret_cast<const char *>(text), size_t(sqlite3_column_bytes(stmt_, i)));
            }
            }
        }
        return true;
    }

private:
    const Shape &shape_;
    sqlite3 *db_ = nullptr;
    sqlite3_stmt *stmt_ = nullptr;
};

// Through Qt SQL, where the SQLite library under the driver is not the one linked here.
class DriverReader final : public RowReader {
public:
    DriverReader(const QSqlDatabase &db, const Shape &shape, const QList<int> &columns, const QList<int> &orderBy)
        : shape_(shape), query_(db)
    {
        query_.setForwardOnly(true);
        query_.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
        if (!query_.exec(sqliteSelect(shape, columns, orderBy)))
            throw EngineError(readError(shape, engine::errorText(query_.lastError())));
        row_.resize(size_t(columns.size()));
    }

    bool next() override
    {
        if (!query_.next()) {
            if (query_.lastError().isValid())
                throw EngineError(readError(shape_, engine::errorText(query_.lastError())));
            return false;
        }
        for (int i = 0; i < int(row_.size()); ++i) {
            const QVariant q = query_.value(i);
            Value &v = row_[size_t(i)];
            if (q.isNull()) {
                v.setNull();
            } else if (q.typeId() == QMetaType::LongLong || q.typeId() == QMetaType::Int) {
                v.setInt(q.toLongLong());
            } else if (q.typeId() == QMetaType::Double) {
                v.setReal(q.toDouble());
            } else if (q.typeId() == QMetaType::QByteArray) {
                const QByteArray b = q.toByteArray();
                v.setBytes(Kind::Blob, b.constData(), size_t(b.size()));
            } else {
                const QByteArray t = q.toString().toUtf8();
                v.setBytes(Kind::Text, t.constData(), size_t(t.size()));
            }
        }
        return true;
    }

private:
    const Shape &shape_;
    QSqlQuery query_;
};

// PostgreSQL through libpq on the driver's own connection handle: the values come as text,
// parsed once here, instead of a variant and a string each.
class PostgresReader final : public RowReader {
public:
    PostgresReader(const QSqlDatabase &db, const Shape &shape, const QList<int> &columns, const QList<int> &orderBy)
        : shape_(shape)
    {
        static QAtomicInt counter;
        ownName_ = db.connectionName() + QStringLiteral("_compare%1").arg(counter.fetchAndAddRelaxed(1));
        QSqlDatabase own = QSqlDatabase::cloneDatabase(db, ownName_);
        if (!own.open()) {
            const QString reason = engine::errorText(own.lastError());
            own = QSqlDatabase();
            QSqlDatabase::removeDatabase(ownName_);
            throw EngineError(readError(shape, reason));
        }
        try {
            start(own, columns, orderBy);
        } catch (...) {
            own = QSqlDatabase();
            QSqlDatabase::removeDatabase(ownName_);
            throw;
        }
    }

    void start(const QSqlDatabase &own, const QList<int> &columns, const QList<int> &orderBy)
    {
        const Shape &shape = shape_;
        const QVariant handle = own.driver()->handle();
        // The driver names the type by libpq's struct: "pg_conn*" (or by its typedef).
        if (!handle.isValid() || (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0))
            throw EngineError(readError(shape, QStringLiteral("no connection handle (%1)").arg(QLatin1String(handle.typeName()))));
        conn_ = *static_cast<PGconn *const *>(handle.constData());
        QStringList exprs, terms;
        for (int c : columns) {
            const Column &col = shape.columns[c];
            families_.push_back(col.family);
            exprs << selectExpression(col);
        }
        for (int o : orderBy)
            terms << orderTerm(shape.columns[columns[o]]);
        QString sql = QStringLiteral("DECLARE pelldrake_compare NO SCROLL CURSOR FOR SELECT %1 FROM %2")
                          .arg(exprs.join(QStringLiteral(", ")), shape.from);
        if (!terms.isEmpty())
            sql += QStringLiteral(" ORDER BY ") + terms.join(QStringLiteral(", "));
        command("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
        command(sql.toUtf8());
        row_.resize(size_t(columns.size()));
    }

    ~PostgresReader() override
    {
        PQclear(batch_);
        if (fetching_) // a fetch under way when the merge stopped early
            while (PGresult *r = PQgetResult(conn_))
                PQclear(r);
        QSqlDatabase::database(ownName_, false).close(); // ends the transaction and the cursor
        QSqlDatabase::removeDatabase(ownName_);
    }

    bool next() override
    {
        if (!batch_ || at_ + 1 >= PQntuples(batch_)) {
            if (ended_)
                return false;
            PQclear(batch_);
            batch_ = nullptr;
            if (!fetching_)
                sendFetch();
            batch_ = takeResult();
            at_ = -1;
            if (PQntuples(batch_) < kBatch)
                ended_ = true;
            else
                sendFetch(); // the server makes the next batch while this one is read
            if (PQntuples(batch_) == 0)
                return false;
        }
        ++at_;
        for (int i = 0; i < int(row_.size()); ++i)
            readValue(i, row_[size_t(i)]);
        return true;
    }

private:
    static QString selectExpression(const Column &col)
    {
        const QString name = quoteIdent(col.name);
        switch (col.family) {
        case Family::ZonedDateTime:
            return QStringLiteral("(%1 AT TIME ZONE 'UTC')").arg(name);
        case Family::Other:
            return name + QStringLiteral("::text");
        default:
            return name;
        }
    }

    static QString orderTerm(const Column &col)
    {
        const QString name = quoteIdent(col.name);
        switch (col.family) {
        case Family::Text:
            return name + QStringLiteral(" COLLATE \"C\" NULLS FIRST");
        case Family::Other:
            return name + QStringLiteral("::text COLLATE \"C\" NULLS FIRST");
        default:
            return name + QStringLiteral(" NULLS FIRST");
        }
    }

    static constexpr int kBatch = 5000;

    void sendFetch()
    {
        if (!PQsendQuery(conn_, "FETCH 5000 FROM pelldrake_compare"))
            throw EngineError(readError(shape_, QString::fromUtf8(PQerrorMessage(conn_))));
        fetching_ = true;
    }

    // The rows of the FETCH sent; a lost server or a failed read is an error, never an end.
    PGresult *takeResult()
    {
        fetching_ = false;
        PGresult *result = PQgetResult(conn_);
        while (PGresult *more = PQgetResult(conn_))
            PQclear(more);
        if (PQresultStatus(result) != PGRES_TUPLES_OK) {
            PQclear(result);
            throw EngineError(readError(shape_, QString::fromUtf8(PQerrorMessage(conn_))));
        }
        return result;
    }

    void command(const char *sql)
    {
        PGresult *r = PQexec(conn_, sql);
        const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
        PQclear(r);
        if (!ok)
            throw EngineError(readError(shape_, QString::fromUtf8(PQerrorMessage(conn_))));
    }
    void command(const QByteArray &sql) { command(sql.constData()); }

    void readValue(int i, Value &v)
    {
        if (PQgetisnull(batch_, at_, i)) {
            v.setNull();
            return;
        }
        const char *text = PQgetvalue(batch_, at_, i);
        const std::string_view t(text, size_t(PQgetlength(batch_, at_, i)));
        switch (families_[size_t(i)]) {
        case Family::Integer:
            if (std::int64_t n; parseInt(t, n)) {
                v.setInt(n);
                return;
            }
            break;
        case Family::Real:
            if (double d; parseReal(t, d)) {
                v.setReal(d);
                return;
            }
            break;
        case Family::Numeric:
            if (t != "NaN") {
                v.setBytes(Kind::Decimal, t.data(), t.size());
                return;
            }
            break;
        case Family::Bool:
            v.setInt(t == "t" ? 1 : 0);
            return;
        case Family::Blob:
            decodeBytea(t, v);
            return;
        default:
            break;
        }
        v.setBytes(Kind::Text, t.data(), t.size());
    }

    static void decodeBytea(std::string_view t, Value &v)
    {
        auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
        v.kind = Kind::Blob;
        v.s.clear();
        if (t.size() >= 2 && t[0] == '\\' && t[1] == 'x') {
            v.s.reserve((t.size() - 2) / 2);
            for (size_t p = 2; p + 1 < t.size(); p += 2)
                v.s += char(nibble(t[p]) << 4 | nibble(t[p + 1]));
            return;
        }
        size_t n = 0;
        unsigned char *bytes = PQunescapeBytea(reinterpret_cast<const unsigned char *>(std::string(t).c_str()), &n);
        v.s.assign(reinterpret_cast<const char *>(bytes), n);
        PQfreemem(bytes);
    }

    const Shape &shape_;
    QString ownName_;
    PGconn *conn_ = nullptr;
    PGresult *batch_ = nullptr;
    int at_ = -1;
    bool ended_ = false;
    bool fetching_ = false;
    std::vector<Family> families_;
};

} // namespace

std::unique_ptr<RowReader> RowReader::open(const QSqlDatabase &db, const Shape &shape, const QList<int> &columns,
                                           const QList<int> &orderBy)
{
    if (shape.dialect == engine::Dialect::Postgres)
        return std::make_unique<PostgresReader>(db, shape, columns, orderBy);
    if (sqlite3 *handle = engine::sqliteHandle(db))
        return std::make_unique<SqliteReader>(handle, shape, columns, orderBy);
    return std::make_unique<DriverReader>(db, shape, columns, orderBy);
}

qint64 countRows(const QSqlDatabase &db, const Shape &shape)
{
    QSqlQuery q = engine::runQuery(db, QStringLiteral("SELECT count(*) FROM ") + shape.from, {},
                                   QStringLiteral("Cannot count the rows of ") + shape.name);
    return q.next() ? q.value(0).toLongLong() : 0;
}

} // namespace pelldrake::compare
