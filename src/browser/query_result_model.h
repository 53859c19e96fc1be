#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QSqlDatabase>
#include <QStringList>
#include <QVariant>

#include <memory>

class QSqlQuery;

namespace pelldrake {

// Runs one statement and offers the rows it returns to a read-only view. The
// rows are read from the statement's cursor a page at a time as the view
// scrolls, never all at once; only the rows read so far are kept.
class QueryResultModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kPageSize = 200;

    explicit QueryResultModel(QObject *parent = nullptr);
    ~QueryResultModel() override;

    // Executes the statement on the connection, reading the first page of
    // rows when it returns any. Throws engine::EngineError with the server's
    // message. Any earlier result is dropped first.
    void execute(const QSqlDatabase &connection, const QString &sql);
    // As execute(), for a connection that must not write. On PostgreSQL the
    // text must be one statement; it runs inside a read-only transaction,
    // behind a savepoint (a subtransaction can never turn read-write), and
    // the transaction is rolled back once the result is read or dropped. A
    // second statement could end that transaction first, so more than one is
    // refused. A SQLite connection opened read-only refuses writes itself.
    void executeReadOnly(const QSqlDatabase &connection, const QString &sql);
    // Drops the result and releases its cursor.
    void clear();

    // Whether a statement ran since the last clear, and whether it returns rows.
    bool executed() const { return executed_; }
    bool returnsRows() const { return returnsRows_; }
    // Rows read so far, and whether reading has ended: at the last row, or
    // at a failure to read further (readError() then tells why).
    int rowsRead() const { return int(rows_.size()); }
    bool complete() const { return !query_; }
    QString readError() const { return readError_; }
    // The rows a statement without a result changed.
    int rowsAffected() const { return rowsAffected_; }

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex &parent) const override;
    void fetchMore(const QModelIndex &parent) override;

signals:
    // More rows were read, or the last one was.
    void rowsReadChanged();

private:
    void run(const QSqlDatabase &connection, const QString &sql);
    void readPage();
    void endReadOnlyTransaction();

    std::unique_ptr<QSqlQuery> query_; // the open cursor; gone once every row is read
    QStringList columns_;
    QList<QVariantList> rows_;
    bool executed_ = false;
    bool returnsRows_ = false;
    int rowsAffected_ = 0;
    QString readError_;
    QSqlDatabase readOnlyTransaction_; // the connection whose read-only transaction is open
};

// Whether `sql` is at most one PostgreSQL statement: no ';' outside literals,
// quoted names and comments, except at the end. `standardStrings` is the
// server's standard_conforming_strings (off: a backslash escapes the quote of
// a plain literal too). Text that might read as more than one statement, or
// ends inside a literal or comment, is not one statement.
bool isSinglePostgresStatement(const QString &sql, bool standardStrings);

// A value as the result view shows it: ISO dates and times, "." decimals,
// a byte count for binary values, empty for null.
QString resultValueText(const QVariant &value);

} // namespace pelldrake
