#pragma once
// PostgreSQL's COPY ... TO STDOUT for the CSV export: the server writes the rows as CSV and the
// client only mends what differs from this program's CSV, instead of reading every value through
// Qt's driver as a typed value and writing it again.
#include "maintenance/csv_format.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <vector>

namespace pelldrake::engine {
class Database;
} // namespace pelldrake::engine

namespace pelldrake::maintenance {

// Rewrites the records the server's CSV gives (NULL an unquoted empty field, '' as "", a field
// quoted when it holds the delimiter, a quote, CR or LF, each record ending in LF) into the form
// CsvWriter gives the values the engine reads: booleans as true/false, floating point numbers,
// dates and times in the engine's text, binary values in hex, U+2028 and U+2029 quoted, the quote
// style and line end of the export. Everything else goes through as the server wrote it.
class PgCsvRecoder {
public:
    // `types`: the engine's type of each column, in the order of the COPY's columns.
    PgCsvRecoder(CsvWriter &writer, const std::vector<int> &types, char delimiter, CsvQuoting quoting);

    // One record as the server wrote it, with or without its LF. False when it is not well
    // formed (a quote not closed, more fields than columns): the export then fails.
    bool record(QByteArrayView row);

private:
    enum class Form {
        Same,     // the server's text is the engine's (text, integers, numeric, the rest)
        Boolean,  // t, f
        Float,    // the server's shortest form, read and written again as the engine writes a double
        Date,     // canonical ISO dates go through; any other date as the engine reads the text
        Temporal, // as the engine reads the text
        Binary    // \x and hex digits, or the escape form: written as plain hex
    };
    void value(int column, QByteArrayView text);

    CsvWriter &writer_;
    std::vector<Form> forms_;
    std::vector<int> types_;
    std::vector<bool> text_;
    char delimiter_;
    CsvQuoting quoting_;
    QByteArray unquoted_; // a quoted field's value, for the columns that convert it
    QByteArray converted_;
};

// A COPY (query) TO STDOUT WITH (FORMAT csv) on a connection of its own (the same login), so the
// window may read the table while the rows stream, as the engine's row scan does.
class PgCopyOut {
public:
    // Throws EngineError when the connection cannot be opened or the server refuses the COPY.
    // `inStorageOrder`, when given, is `query` without its ORDER BY ctid: the server's plain scan
    // of the table gives that order without sorting, and it is run when the plan is such a scan.
    PgCopyOut(engine::Database &database, const QString &query, char delimiter, const QString &inStorageOrder = {});
    ~PgCopyOut(); // a COPY not read to its end is cancelled
    PgCopyOut(const PgCopyOut &) = delete;
    PgCopyOut &operator=(const PgCopyOut &) = delete;

    // Whether the database's connection is PostgreSQL's client library, so a COPY can be run.
    static bool available(engine::Database &database);

    // The next record, as the server wrote it; false after the last. Throws EngineError when the
    // stream breaks off, never ending early in silence.
    bool next(QByteArrayView &row);

private:
    void close();
    bool scansInOrder(const QString &query);
    QString connectionName_;
    void *connection_ = nullptr; // PGconn of the own connection
    char *row_ = nullptr;        // the buffer of the last record, the client library's
    bool done_ = false;
};

} // namespace pelldrake::maintenance
