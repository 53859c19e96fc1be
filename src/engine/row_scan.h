#pragma once

#include <QByteArrayView>
#include <QString>
#include <QVariant>
#include <functional>
#include <memory>

namespace pelldrake::engine {

class Table;

// Reads the rows of an open table in its current filter and index order (the same predicate and
// order as the table's cursor) in one forward-only query: for the dump and the export. The
// table's cursor does not move and nothing but the current row is held in memory.
//
// Values are those stored in the database; an unposted edit buffer is not part of the scan.
// On PostgreSQL the rows stream from the server one at a time over a connection of the scan's
// own (same login), so the table may go on reading meanwhile; it sees what is committed. A
// stream cut short (a lost server) makes next() throw instead of stopping early.
//
// On SQLite the scan reads the statement through the connection's own handle, so a value that
// is already in its text form (text, a date as stored, an integer) goes to utf8() without being
// made a QString and back. Every value gives the same text either way.
class RowScan {
public:
    enum class Reading {
        Direct,      // through the SQLite handle where there is one
        ThroughDriver // every value through Qt SQL (the only way on PostgreSQL)
    };
    // Throws EngineError when the table is closed or the query fails.
    explicit RowScan(Table &table, Reading reading = Reading::Direct);
    ~RowScan();
    RowScan(const RowScan &) = delete;
    RowScan &operator=(const RowScan &) = delete;

    bool next();                   // moves to the next row; false after the last
    int fieldCount() const;        // the table's fields, in field order
    bool isNull(int field) const;
    QString text(int field) const; // valueToText(type, value) of the field; empty for null
    // text() as UTF-8. The bytes stay valid until next(), or until text() or value() of the
    // same field.
    QByteArrayView utf8(int field) const;
    QVariant value(int field) const; // typed as Field::value() gives it
    qint64 rowsRead() const;
    bool readsDirectly() const; // the SQLite handle is in use


private:
    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace pelldrake::engine
