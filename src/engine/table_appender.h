#pragma once

#include <QString>
#include <QVariant>
#include <QVector>
#include <functional>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace pelldrake::engine {

class Table;

// Appends many records to an open table at a fraction of the cursor's cost per record: one
// prepared INSERT reused for every record with the same set of columns (on SQLite run on the
// connection's own handle, without Qt SQL's cost per bound value), no key read back, and
// commits in batches (large ones: on SQLite the sync of each commit outweighs the inserts). Values are converted and checked exactly as Field::setAsString and
// Table::post do, with the same messages.
//
// A failing record leaves every record added before it in the table: on PostgreSQL each batch
// runs under a savepoint, and a failure rolls the batch back to it and writes the batch's
// earlier records again. The table's keyset, record count and grid catch up in finish() (a
// refresh, then the last record becomes current); recordCount() follows every added record.
class TableAppender {
public:
    // Records per batch; 0: 5,000 on PostgreSQL (a failure writes its batch's earlier records
    // again), 50,000 on SQLite (each commit waits for the disk, and a failure costs nothing).
    explicit TableAppender(Table &table, int batchSize = 0);
    // finish(); an error then is logged, never thrown (the caller is reporting another). Call
    // finish() to hear of every record's error and of a failed commit.
    ~TableAppender();
    TableAppender(const TableAppender &) = delete;
    TableAppender &operator=(const TableAppender &) = delete;

    // Starts an empty record; throws when the table is closed or read-only (a PostgreSQL table
    // without a key is not: records are appended without one).
    void begin();
    void setText(int fieldIndex, const QString &text); // converts like Field::setAsString
    void setValue(int fieldIndex, const QVariant &value); // a string is converted like setText
    void clear(int fieldIndex) { setValue(fieldIndex, QVariant()); }
    bool hasValues() const; // the record set at least one field
    // Writes the record begun last; throws the cursor's error for it. The record is done either
    // way: begin() starts the next. On PostgreSQL records go to the server in groups, so add()
    // or finish() may throw the error of a record added a little earlier: failedRecord() tells
    // which; that record and those added after it are not in the table, those before it are.
    void add();
    qint64 added() const { return m_added; }
    // After add() or finish() threw a record's error: that record's number (0 = the first added
    // to this appender); -1 for an error of no particular record.
    qint64 failedRecord() const { return m_failedRecord; }
    // Commits what was added and brings the table up to date. A failed commit throws the
    // engine's reason ("Cannot commit: ..."): the records of the last batch are not stored (the
    // transaction is rolled back, the table's keyset and count read again), those of earlier
    // batches are.
    void finish();
    // Called between the steps of bringing a large table up to date in finish().
    void setBetweenSteps(std::function<void()> between) { m_between = std::move(between); }

private:
    void store(int fieldIndex, const QVariant &value);
    struct Pending {
        QString sql;
        QVariantList binds;
    };
    void openBatch();
    void closeBatch();
    void insert(const QString &sql, const QVariantList &binds);
    bool insertDirectly(const QVariantList &binds); // false: left to Qt SQL
    void prepareDirectly();
    void finalizeDirect();
    QVariant storageValue(int fieldIndex, const QVariant &value) const;
    void recover(); // PostgreSQL: the batch's earlier records after a failed one
    void sendGroup();

    Table *m_table;
    int m_batchSize;
    bool m_started = false;
    bool m_inRecord = false;
    bool m_batchOpen = false;
    bool m_ownsTransaction = false;
    bool m_postgres = false;
    int m_inBatch = 0;
    qint64 m_added = 0;
    QVariantList m_buffer;
    QVector<bool> m_changed;
    QVector<bool> m_lastColumns;
    QString m_lastSql;
    QString m_lastTuple; // "(?, ?)" of m_lastSql; empty for DEFAULT VALUES
    qint64 m_failedRecord = -1;
    std::vector<Pending> m_group; // PostgreSQL: added, not sent yet
    static constexpr int kGroupRows = 200;      // records per statement
    static constexpr int kGroupValues = 20000;  // values per statement, well below the server's limit
    std::vector<Pending> m_pending; // PostgreSQL: this batch's records, for recover()
    std::function<void()> m_between;
    sqlite3 *m_sqlite = nullptr;        // SQLite: the connection's handle
    sqlite3_stmt *m_direct = nullptr;   // m_lastSql prepared on it
};

} // namespace pelldrake::engine
