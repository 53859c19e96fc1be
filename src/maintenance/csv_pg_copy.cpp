// PostgreSQL's COPY for the CSV import: see csv_pg_copy.h.
#include "maintenance/csv_pg_copy.h"

#include "engine/date_time_text.h"
#include "engine/database.h"
#include "engine/session.h"
#include "engine/sql_util.h"

#include <QDate>
#include <QSqlDriver>

#include <libpq-fe.h>

#include <cstring>

namespace pelldrake::maintenance {

namespace {

QString qualified(const QString &table)
{
    const qsizetype dot = table.indexOf(QLatin1Char('.'));
    if (dot <= 0 || table.startsWith(QLatin1Char('"')))
        return engine::quoteIdent(table);
    return engine::quoteIdent(table.left(dot)) + QLatin1Char('.') + engine::quoteIdent(table.mid(dot + 1));
}

} // namespace

PgCopy::PgCopy(engine::Database &database, const QString &table, const QStringList &columns)
{
    const QSqlDatabase db = database.sqlDatabase();
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    // Qt names the type by libpq's struct: "PGconn*" or "pg_conn*".
    if (handle.isValid()
        && (std::strcmp(handle.typeName(), "PGconn*") == 0 || std::strcmp(handle.typeName(), "pg_conn*") == 0))
        connection_ = *static_cast<PGconn *const *>(handle.constData());
    QStringList quoted;
    for (const QString &c : columns)
        quoted << engine::quoteIdent(c);
    statement_ = QStringLiteral("COPY %1 (%2) FROM STDIN WITH (FORMAT csv)")
                     .arg(qualified(table), quoted.join(QStringLiteral(", ")))
                     .toUtf8();
}

void PgCopy::appendQuoted(QByteArray &out, QByteArrayView text)
{
    out += '"';
    if (!text.contains('"')) {
        out += text;
    } else {
        for (const char c : text) {
            if (c == '"')
                out += '"';
            out += c;
        }
    }
    out += '"';
}

void PgCopy::add(const QVariant &value)
{
    if (!first_)
        data_ += ',';
    first_ = false;
    format(data_, value);
}

void PgCopy::format(QByteArray &out, const QVariant &value)
{
    if (value.isNull())
        return; // an unquoted empty field: NULL; every text is quoted, so '' stays ''
    switch (value.metaType().id()) {
    case QMetaType::LongLong:
    case QMetaType::Int:
        out += QByteArray::number(value.toLongLong());
        break;
    case QMetaType::Double:
        out += QByteArray::number(value.toDouble(), 'g', 17);
        break;
    case QMetaType::Bool:
        out += value.toBool() ? "t" : "f";
        break;
    case QMetaType::QDate: {
        char text[10];
        if (engine::writeIsoDate(value.toDate(), text)) {
            out.append(text, 10);
        } else {
            out += value.toDate().toString(Qt::ISODate).toLatin1();
        }
        break;
    }
    case QMetaType::QByteArray:
        appendQuoted(out, "\\x" + value.toByteArray().toHex());
        break;
    default:
        appendQuoted(out, value.toString().toUtf8());
    }
}

void PgCopy::stream()
{
    auto *conn = static_cast<PGconn *>(connection_);
    if (state_ == State::Idle) {
        state_ = State::Failed;
        if (exec("SAVEPOINT pelldrake_copy", failure_)) {
            PGresult *start = PQexec(conn, statement_.constData());
            if (PQresultStatus(start) == PGRES_COPY_IN)
                state_ = State::Copying;
            else
                failure_ = QString::fromUtf8(PQresultErrorMessage(start)).trimmed();
            PQclear(start);
        }
    }
    if (state_ == State::Copying && PQputCopyData(conn, data_.constData(), int(data_.size())) != 1) {
        failure_ = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
        state_ = State::Failed;
        PQputCopyEnd(conn, "the data could not be sent");
    }
    data_.clear(); // keeps its capacity for the next chunk
}

bool PgCopy::send(QString &error)
{
    if (records_ == 0 && state_ == State::Idle)
        return true;
    stream();
    records_ = 0;
    const bool ok = finishCopy(error);
    state_ = State::Idle;
    failure_.clear();
    if (ok)
        return exec("RELEASE SAVEPOINT pelldrake_copy", error);
    QString ignored;
    exec("ROLLBACK TO SAVEPOINT pelldrake_copy", ignored);
    return false;
}

bool PgCopy::connectionLost() const
{
    return connection_ && PQstatus(static_cast<PGconn *>(connection_)) == CONNECTION_BAD;
}

// Ends the COPY and reads the server's answer for it.
bool PgCopy::finishCopy(QString &error)
{
    auto *conn = static_cast<PGconn *>(connection_);
    bool ok = state_ == State::Copying;
    if (ok)
        ok = PQputCopyEnd(conn, nullptr) == 1;
    error = failure_;
    while (PGresult *r = PQgetResult(conn)) {
        if (PQresultStatus(r) != PGRES_COMMAND_OK) {
            ok = false;
            if (error.isEmpty())
                error = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
        }
        PQclear(r);
    }
    if (!ok && error.isEmpty())
        error = QString::fromUtf8(PQerrorMessage(conn)).trimmed();
    return ok;
}

bool PgCopy::exec(const char *sql, QString &error)
{
    PGresult *r = PQexec(static_cast<PGconn *>(connection_), sql);
    const bool ok = PQresultStatus(r) == PGRES_COMMAND_OK;
    if (!ok)
        error = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
    PQclear(r);
    return ok;
}

} // namespace pelldrake::maintenance
