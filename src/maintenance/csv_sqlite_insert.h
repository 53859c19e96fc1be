#pragma once
// SQLite: the CSV import's INSERT on the connection's own handle, each field bound from the
// bytes the reader gave (a text column) or from the value the engine typed, as the bulk
// appender binds it, without a QString and a QVariant per text value.
#include <QByteArrayView>
#include <QString>
#include <QStringList>
#include <QVariant>

struct sqlite3;
struct sqlite3_stmt;

namespace pelldrake::engine {
class Database;
} // namespace pelldrake::engine

namespace pelldrake::maintenance {

class SqliteInsert {
public:
    SqliteInsert(engine::Database &database, const QString &table, const QStringList &columns);
    ~SqliteInsert();
    SqliteInsert(const SqliteInsert &) = delete;
    SqliteInsert &operator=(const SqliteInsert &) = delete;
    // False when the connection gives no handle of this program's SQLite (the appender then).
    bool available() const { return stmt_ != nullptr; }

    // Columns count from 0, in the order given. bindText() takes the bytes as they are, without a
    // copy: they must stay valid until step().
    void bindText(int column, QByteArrayView utf8);
    void bindNull(int column);
    void bindInteger(int column, qint64 value);
    // A value as engine::textToValue typed it for a column of `type`, stored as the appender does.
    bool bindValue(int column, int type, const QVariant &value);
    // Inserts the bound record; false with SQLite's reason. The bindings are cleared either way.
    bool step(QString &error);

private:
    sqlite3 *db_ = nullptr;
    sqlite3_stmt *stmt_ = nullptr;
};

} // namespace pelldrake::maintenance
