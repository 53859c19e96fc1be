#include "app/engine/row_scan.h"

#include "app/engine/database.h"
#include "app/engine/engine_error.h"
#include "app/engine/field.h"
#include "app/engine/session.h"
#include "app/engine/sql_util.h"
#include "app/engine/table.h"
#include "app/engine/values.h"

#include <QAtomicInt>
#include <QSqlQuery>
#include <QVector>

namespace pelldrake::engine {

struct RowScan::Private {
    QString ownConnection; // PostgreSQL: the scan's own connection, removed at the end
    QSqlQuery query;
    QVector<int> types;
    qint64 rows = 0;
    bool atRow = false;
    bool done = false;
};

RowScan::RowScan(Table &table) : d(std::make_unique<Private>())
{
    if (!table.active() || !table.database())
        throw EngineError(QStringLiteral("Table is not open."));
    QString sql;
    QVariantList binds;
    table.scanStatement(sql, binds);
    d->types.reserve(table.fieldCount());
    for (int i = 0; i < table.fieldCount(); ++i)
        d->types << table.field(i)->dataType();
    const QString context = QStringLiteral("Cannot read the records");
    QSqlDatabase db = table.database()->sqlDatabase();
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
            throw EngineError(context + QLatin1String(": ") + reason);
        }
        db = own;
    }
    d->query = QSqlQuery(db);
    d->query.setForwardOnly(true);
    // SQLite reals are doubles: read as such, not as text to be parsed again. PostgreSQL numerics
    // need the text to stay exact.
    d->query.setNumericalPrecisionPolicy(table.database()->isSqlite() ? QSql::LowPrecisionDouble
                                                                     : QSql::HighPrecision);
    prepareOrThrow(d->query, sql, context);
    for (int i = 0; i < binds.size(); ++i)
        d->query.bindValue(i, binds.at(i));
    execOrThrow(d->query, context);
}

RowScan::~RowScan()
{
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
    d->atRow = d->query.next();
    if (!d->atRow) {
        d->done = true;
        // A stream cut short (another statement on the connection, a lost server) is an error,
        // never a silent end of the rows.
        if (d->query.lastError().isValid())
            throw EngineError(QStringLiteral("Cannot read the records: ") + errorText(d->query.lastError()));
        d->query.finish();
        return false;
    }
    ++d->rows;
    return true;
}

int RowScan::fieldCount() const { return int(d->types.size()); }

bool RowScan::isNull(int field) const
{
    return !d->atRow || d->query.isNull(field);
}

QString RowScan::text(int field) const
{
    if (!d->atRow || field < 0 || field >= d->types.size())
        return {};
    return valueToText(d->types.at(field), d->query.value(field));
}

QVariant RowScan::value(int field) const
{
    if (!d->atRow || field < 0 || field >= d->types.size())
        return {};
    return fromStorage(d->types.at(field), d->query.value(field));
}

qint64 RowScan::rowsRead() const { return d->rows; }

} // namespace pelldrake::engine
