#pragma once
// PostgreSQL's COPY for the CSV import: a batch of records in one stream, instead of INSERT
// statements the server parses and plans group by group.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVariant>

namespace pelldrake::engine {
class Database;
} // namespace pelldrake::engine

namespace pelldrake::maintenance {

class PgCopy {
public:
    // `columns` of `table` (as the table names it: schema.name allowed), in the order of the
    // values each record gives.
    PgCopy(engine::Database &database, const QString &table, const QStringList &columns);
    // False when the connection is not PostgreSQL's client library (the import then inserts).
    bool available() const { return connection_ != nullptr; }

    // One record's values as the engine typed them (engine::textToValue); a null QVariant is NULL.
    void beginRecord() { first_ = true; }
    void add(const QVariant &value);
    // A value as add() writes it, appended to `out`: nothing for NULL, text always quoted.
    static void format(QByteArray &out, const QVariant &value);
    static void appendQuoted(QByteArray &out, QByteArrayView text);
    // A record already in COPY's CSV form, without its line end.
    void addRecord(QByteArrayView line)
    {
        data_ += line;
        endRecord();
    }
    // The data goes to the server as it grows, so the server stores while the next records are
    // read (the COPY begins with the batch's first record).
    void endRecord()
    {
        data_ += '\n';
        ++records_;
        // The first bytes go at once, so the server works while the client reads on.
        if (data_.size() >= (state_ == State::Idle ? kFirstChunk : kChunk))
            stream();
    }
    qint64 records() const { return records_; }
    qsizetype bytes() const { return data_.size(); }

    // Ends the COPY of the records added since the last send, which the server stores whole or
    // not at all: inside a transaction, under a savepoint that a failure rolls back to, so the
    // transaction goes on. False with the server's reason; the records are dropped either way.
    bool send(QString &error);
    // Whether a failed send lost the connection: no record of it was refused, none can go again.
    bool connectionLost() const;

private:
    bool exec(const char *sql, QString &error);
    void stream();   // begins the COPY when it has not begun, sends what is buffered
    bool finishCopy(QString &error);
    static constexpr qsizetype kChunk = 64 * 1024;
    static constexpr qsizetype kFirstChunk = 4 * 1024;
    enum class State { Idle, Copying, Failed } state_ = State::Idle;
    QString failure_;
    void *connection_ = nullptr; // PGconn
    QByteArray statement_;
    QByteArray data_;
    qint64 records_ = 0;
    bool first_ = true;
};

} // namespace pelldrake::maintenance
