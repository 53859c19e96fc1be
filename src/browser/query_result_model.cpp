#include "browser/query_result_model.h"

#include "app/engine/engine_error.h"
#include "app/engine/sql_util.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTime>

namespace pelldrake {

QueryResultModel::QueryResultModel(QObject *parent) : QAbstractTableModel(parent) {}

QueryResultModel::~QueryResultModel() = default;

void QueryResultModel::clear()
{
    beginResetModel();
    query_.reset();
    columns_.clear();
    rows_.clear();
    executed_ = false;
    returnsRows_ = false;
    rowsAffected_ = 0;
    endResetModel();
    emit rowsReadChanged();
}

namespace {

// SQLite reports the changes of the last INSERT, UPDATE or DELETE even after
// a statement that changed nothing (CREATE TABLE); its running total tells.
qint64 sqliteTotalChanges(const QSqlDatabase &connection)
{
    QSqlQuery q(connection);
    return q.exec(QStringLiteral("SELECT total_changes()")) && q.next() ? q.value(0).toLongLong() : -1;
}

} // namespace

void QueryResultModel::execute(const QSqlDatabase &connection, const QString &sql)
{
    clear();
    const bool sqlite = connection.driverName() == QLatin1String("QSQLITE");
    const qint64 changesBefore = sqlite ? sqliteTotalChanges(connection) : -1;

    auto query = std::make_unique<QSqlQuery>(connection);
    query->setForwardOnly(true); // rows come from the cursor as they are asked for
    if (!query->exec(sql))
        throw engine::EngineError(engine::errorText(query->lastError()));

    beginResetModel();
    executed_ = true;
    if (query->isSelect()) {
        returnsRows_ = true;
        const QSqlRecord record = query->record();
        for (int i = 0; i < record.count(); ++i)
            columns_ << record.fieldName(i);
        query_ = std::move(query);
    } else {
        rowsAffected_ = std::max(0, query->numRowsAffected());
        if (sqlite && changesBefore >= 0 && sqliteTotalChanges(connection) == changesBefore)
            rowsAffected_ = 0;
    }
    endResetModel();
    if (query_)
        readPage();
    emit rowsReadChanged();
}

void QueryResultModel::readPage()
{
    QList<QVariantList> page;
    const int columns = int(columns_.size());
    while (page.size() < kPageSize && query_->next()) {
        QVariantList row;
        row.reserve(columns);
        for (int c = 0; c < columns; ++c)
            row << query_->value(c);
        page << row;
    }
    if (page.size() < kPageSize)
        query_.reset(); // the end: the cursor is released
    if (!page.isEmpty()) {
        beginInsertRows(QModelIndex(), int(rows_.size()), int(rows_.size() + page.size() - 1));
        rows_ << page;
        endInsertRows();
    }
}

int QueryResultModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(rows_.size());
}

int QueryResultModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(columns_.size());
}

QVariant QueryResultModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows_.size() || index.column() >= columns_.size())
        return {};
    const QVariant &value = rows_.at(index.row()).at(index.column());
    if (role == Qt::DisplayRole)
        return resultValueText(value).section(QLatin1Char('\n'), 0, 0); // a cell shows the first line
    if (role == Qt::ToolTipRole && value.typeId() == QMetaType::QString)
        return value.toString().left(2000);
    return {};
}

QVariant QueryResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Horizontal)
        return columns_.value(section);
    return section + 1;
}

bool QueryResultModel::canFetchMore(const QModelIndex &parent) const
{
    return !parent.isValid() && query_ != nullptr;
}

void QueryResultModel::fetchMore(const QModelIndex &parent)
{
    if (!canFetchMore(parent))
        return;
    readPage();
    emit rowsReadChanged();
}

QString resultValueText(const QVariant &value)
{
    if (value.isNull())
        return QString();
    switch (value.typeId()) {
    case QMetaType::QByteArray:
        return QStringLiteral("(%1 bytes)").arg(value.toByteArray().size());
    case QMetaType::QDate:
        return value.toDate().toString(Qt::ISODate);
    case QMetaType::QTime:
        return value.toTime().toString(Qt::ISODateWithMs);
    case QMetaType::QDateTime:
        return value.toDateTime().toString(Qt::ISODateWithMs);
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(value.toDouble(), 'g', QLocale::FloatingPointShortest);
    default:
        return value.toString();
    }
}

} // namespace pelldrake
