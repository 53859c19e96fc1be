// PostgreSQL's COPY ... TO STDOUT for the CSV export: see csv_pg_export.h.
#include "maintenance/csv_pg_export.h"

#include "engine/database.h"
#include "engine/session.h"
#include "engine/engine_error.h"
#include "engine/field.h"
#include "engine/sql_util.h"

#include <QAtomicInt>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QVariant>

#include <libpq-fe.h>

#include <cmath>
#include <cstring>
#include <limits>

namespace pelldrake::maintenance {

namespace {

const QString kContext = QStringLiteral("Cannot read the records");

PGconn *pgConnection(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    // Qt names the type by libpq's struct: "PGconn*" or "pg_conn*".
    if (handle.isValid()
        && (std::strcmp(handle.typeName(), "PGconn*") == 0 || std::strcmp(handle.typeName(), "pg_conn*") == 0))
        return *static_cast<PGconn *const *>(handle.constData());
    return nullptr;
}

// U+2028 and U+2029 end lines for some readers: a field holding one is quoted.
bool hasLineSeparator(QByteArrayView v)
{
    const char *p = v.data();
    const char *const end = p + v.size();
    while (end - p >= 3) {
        const void *hit = std::memchr(p, '\xE2', size_t(end - p - 2));
        if (!hit)
            return false;
        p = static_cast<const char *>(hit);
        if (p[1] == '\x80' && (p[2] == '\xA8' || p[2] == '\xA9'))
            return true;
        ++p;
    }
    return false;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// yyyy-mm-dd with a month and a day every month has: the engine writes it the same.
bool plainDate(QByteArrayView v)
{
    if (v.size() != 10 || v[4] != '-' || v[7] != '-')
        return false;
    for (const int i : {0, 1, 2, 3, 5, 6, 8, 9})
        if (!isDigit(v[i]))
            return false;
    const int month = (v[5] - '0') * 10 + (v[6] - '0');
    const int day = (v[8] - '0') * 10 + (v[9] - '0');
    return month >= 1 && month <= 12 && day >= 1 && day <= 28 && QByteArrayView(v.data(), 4) != "0000";
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Recoder

PgCsvRecoder::PgCsvRecoder(CsvWriter &writer, const std::vector<int> &types, char delimiter, CsvQuoting quoting)
    : writer_(writer), types_(types), delimiter_(delimiter), quoting_(quoting)
{
    for (const int type : types) {
        text_.push_back(engine::isTextType(type));
        Form form = Form::Same;
        if (type == engine::ftBoolean)
            form = Form::Boolean;
        else if (type == engine::ftFloat)
            form = Form::Float;
        else if (type == engine::ftDate)
            form = Form::Date;
        else if (type == engine::ftTime || type == engine::ftDateTime || type == engine::ftTimeStamp
                 || type == engine::ftCurrency)
            form = Form::Temporal; // money: the engine reads its text as a number when it is one
        else if (engine::isBinaryType(type))
            form = Form::Binary;
        forms_.push_back(form);
    }
}

// A value of a column whose server text is not the engine's: converted, then written as CsvWriter
// writes any value.
void PgCsvRecoder::value(int column, QByteArrayView text)
{
    const int type = types_[size_t(column)];
    switch (forms_[size_t(column)]) {
    case Form::Same:
        converted_ = text.toByteArray();
        break;
    case Form::Boolean:
        converted_ = text == "t" ? QByteArrayLiteral("true") : text == "f" ? QByteArrayLiteral("false") : text.toByteArray();
        break;
    case Form::Float: {
        // The driver's reading: the server's words for the values no number writes.
        double d = 0;
        bool ok = true;
        if (text == "NaN")
            d = std::numeric_limits<double>::quiet_NaN();
        else if (text == "Infinity")
            d = std::numeric_limits<double>::infinity();
        else if (text == "-Infinity")
            d = -std::numeric_limits<double>::infinity();
        else
            d = text.toByteArray().toDouble(&ok);
        converted_ = ok ? engine::valueToText(type, QVariant(d)).toUtf8()
                        : engine::valueToText(type, QVariant(QString::fromUtf8(text))).toUtf8();
        break;
    }
    case Form::Date:
        if (plainDate(text)) {
            converted_ = text.toByteArray();
            break;
        }
        [[fallthrough]];
    case Form::Temporal:
        converted_ = engine::valueToText(type, QVariant(QString::fromUtf8(text))).toUtf8();
        break;
    case Form::Binary:
        if (text.startsWith("\\x")) {
            converted_ = text.sliced(2).toByteArray().toLower();
        } else { // the escape form
            const QByteArray z = text.toByteArray();
            size_t n = 0;
            unsigned char *bytes = PQunescapeBytea(reinterpret_cast<const unsigned char *>(z.constData()), &n);
            converted_ = QByteArray(reinterpret_cast<const char *>(bytes), qsizetype(n)).toHex();
            PQfreemem(bytes);
        }
        break;
    }
    writer_.field(converted_, text_[size_t(column)]);
}

bool PgCsvRecoder::record(QByteArrayView row)
{
    const char *p = row.data();
    const char *end = p + row.size();
    if (end > p && end[-1] == '\n')
        --end;
    const int columns = int(forms_.size());
    const bool quoteAll = quoting_ == CsvQuoting::All;
    const bool quoteText = quoting_ == CsvQuoting::Text;
    for (int column = 0;; ++column) {
        if (column >= columns)
            return false;
        const Form form = forms_[size_t(column)];
        if (p < end && *p == '"') {
            // Quoted: the server found the delimiter, a quote, CR or LF in it, or it is ''.
            const char *q = p + 1;
            bool doubled = false;
            for (;;) {
                const void *hit = std::memchr(q, '"', size_t(end - q));
                if (!hit)
                    return false;
                q = static_cast<const char *>(hit);
                if (q + 1 < end && q[1] == '"') {
                    doubled = true;
                    q += 2;
                    continue;
                }
                break;
            }
            const QByteArrayView inner(p + 1, q - p - 1);
            if (form == Form::Same && inner != "\\.") { // \. alone the server quotes for its own reasons
                writer_.formed(QByteArrayView(p, q + 1 - p));
            } else {
                QByteArrayView v = inner;
                if (doubled) {
                    unquoted_ = inner.toByteArray().replace("\"\"", "\"");
                    v = unquoted_;
                }
                if (form == Form::Same)
                    writer_.field(v, text_[size_t(column)]);
                else
                    value(column, v);
            }
            p = q + 1;
        } else {
            const void *hit = std::memchr(p, delimiter_, size_t(end - p));
            const char *q = hit ? static_cast<const char *>(hit) : end;
            const QByteArrayView v(p, q - p);
            if (v.isEmpty())
                writer_.null();
            else if (form != Form::Same)
                value(column, v);
            else if (quoteAll || (quoteText && text_[size_t(column)]) || hasLineSeparator(v))
                writer_.enclosed(v); // an unquoted field holds no quote
            else
                writer_.formed(v);
            p = q;
        }
        if (p >= end)
            break;
        if (*p != delimiter_)
            return false;
        ++p;
    }
    writer_.endRecord();
    return true;
}

// ---------------------------------------------------------------------------------------------
// The COPY

bool PgCopyOut::available(engine::Database &database)
{
    return pgConnection(database.sqlDatabase()) != nullptr;
}

PgCopyOut::PgCopyOut(engine::Database &database, const QString &query, char delimiter, const QString &inStorageOrder)
{
    static QAtomicInt counter;
    const QSqlDatabase db = database.sqlDatabase();
    connectionName_ = db.connectionName() + QStringLiteral("_csvcopy%1").arg(counter.fetchAndAddRelaxed(1));
    {
        QSqlDatabase own = QSqlDatabase::cloneDatabase(db, connectionName_);
        if (!own.open()) {
            const QString reason = engine::errorText(own.lastError());
            own = QSqlDatabase();
            close();
            throw engine::EngineError(kContext + QLatin1String(": ") + reason);
        }
        connection_ = pgConnection(own);
    }
    if (!connection_) {
        close();
        throw engine::EngineError(kContext + QLatin1String(": the connection is not PostgreSQL's client library"));
    }
    QByteArray delim(1, delimiter);
    if (delimiter == '\'')
        delim = "''";
    const QString select = !inStorageOrder.isEmpty() && scansInOrder(inStorageOrder) ? inStorageOrder : query;
    const QByteArray sql = "COPY (" + select.toUtf8() + ") TO STDOUT WITH (FORMAT csv, DELIMITER '" + delim + "')";
    auto *conn = static_cast<PGconn *>(connection_);
    PGresult *r = PQexec(conn, sql.constData());
    const bool copying = PQresultStatus(r) == PGRES_COPY_OUT;
    const QString reason = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
    PQclear(r);
    if (!copying) {
        done_ = true;
        close();
        throw engine::EngineError(kContext + QLatin1String(": ") + reason);
    }
}

// Whether the server reads `query` by one scan of the table from its first block to its last,
// which gives the rows in ctid order: a sequential scan, neither shared with another session's
// scan (it would begin mid-table) nor split among workers. Sorting a large table by ctid costs
// the server more than the whole COPY.
bool PgCopyOut::scansInOrder(const QString &query)
{
    auto *conn = static_cast<PGconn *>(connection_);
    PGresult *set = PQexec(conn, "SET synchronize_seqscans = off; SET max_parallel_workers_per_gather = 0");
    const bool settled = PQresultStatus(set) == PGRES_COMMAND_OK;
    PQclear(set);
    if (!settled)
        return false;
    PGresult *plan = PQexec(conn, ("EXPLAIN " + query).toUtf8().constData());
    // One line: one node, without a filter, a sort or other tables appended.
    const bool plain = PQresultStatus(plan) == PGRES_TUPLES_OK && PQntuples(plan) == 1
        && std::strncmp(PQgetvalue(plan, 0, 0), "Seq Scan on ", 12) == 0;
    PQclear(plan);
    return plain;
}

PgCopyOut::~PgCopyOut()
{
    if (connection_ && !done_) {
        // Stopped before the end: the server is asked to stop sending, what it sent is read away.
        auto *conn = static_cast<PGconn *>(connection_);
        if (PGcancel *cancel = PQgetCancel(conn)) {
            char reason[256];
            PQcancel(cancel, reason, int(sizeof reason));
            PQfreeCancel(cancel);
        }
        char *buffer = nullptr;
        while (PQgetCopyData(conn, &buffer, 0) > 0)
            PQfreemem(buffer);
        while (PGresult *r = PQgetResult(conn))
            PQclear(r);
    }
    close();
}

void PgCopyOut::close()
{
    if (row_) {
        PQfreemem(row_);
        row_ = nullptr;
    }
    connection_ = nullptr;
    if (connectionName_.isEmpty())
        return;
    QSqlDatabase::database(connectionName_, false).close();
    QSqlDatabase::removeDatabase(connectionName_);
    connectionName_.clear();
}

bool PgCopyOut::next(QByteArrayView &row)
{
    if (done_)
        return false;
    auto *conn = static_cast<PGconn *>(connection_);
    if (row_) {
        PQfreemem(row_);
        row_ = nullptr;
    }
    const int n = PQgetCopyData(conn, &row_, 0);
    if (n > 0) {
        row = QByteArrayView(row_, n);
        return true;
    }
    done_ = true;
    // The end of the COPY, or a stream cut short: the result says which.
    QString reason = n == -2 ? QString::fromUtf8(PQerrorMessage(conn)).trimmed() : QString();
    while (PGresult *r = PQgetResult(conn)) {
        if (PQresultStatus(r) != PGRES_COMMAND_OK && reason.isEmpty())
            reason = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
        PQclear(r);
    }
    if (!reason.isEmpty())
        throw engine::EngineError(kContext + QLatin1String(": ") + reason);
    return false;
}

} // namespace pelldrake::maintenance
