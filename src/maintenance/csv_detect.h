#pragma once
// What a CSV file looks like before it is imported: its encoding, delimiter, quote and header,
// guessed from its first records; and, for a new table, the columns and their types, taken from
// every value of the file.
#include "maintenance/csv_format.h"

#include "engine/sql_util.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace pelldrake::maintenance {

struct CsvDetection {
    CsvEncoding encoding = CsvEncoding::Utf8;
    bool byteOrderMark = false;
    CsvDialect dialect;
    bool header = true;
};

// Guesses from the file's first 256 KB: a byte-order mark (UTF-8, UTF-16), else UTF-8 when the
// bytes are valid UTF-8, else Windows-1252; the delimiter among , ; TAB | whose records have the
// most consistent field count; the quote; a header line when the first record is all names.
// False, with the reason, when the file cannot be read, is empty or is not text.
bool detectCsv(const QString &path, CsvDetection &detection, QString &error);

// The type of one column, from every value it holds.
class CsvColumnType {
public:
    // An unquoted empty field, NULL, is no evidence.
    void add(QByteArrayView utf8);
    // What CREATE TABLE declares, so that every value reads back unchanged: INTEGER (BIGINT on
    // PostgreSQL when a value needs it), BOOLEAN, NUMERIC(p,s), REAL (DOUBLE PRECISION), DATE,
    // TIMESTAMP, else TEXT (leading zeros, more than 18 digits, a scale that matters).
    QString declaredType(engine::Dialect dialect) const;

private:
    bool any_ = false;
    bool integer_ = true;
    bool wide_ = false; // an integer beyond 32 bits
    bool boolean_ = true;
    bool fixed_ = true; // digits, a point, digits: one scale for all
    int scale_ = -1;
    int intDigits_ = 0;
    bool real_ = true;  // reads back unchanged through a double
    bool date_ = true;
    bool timestamp_ = true;
};

// Column names for a new table from the header's names (or none): trimmed, control characters
// replaced, at most 63 bytes, unique without regard to case (a second "name" becomes "name_2"),
// and `fieldN` for a blank one (N its position from 1).
QStringList columnNames(const QStringList &header, int count);

// CREATE TABLE for the names and types.
QString createTableSql(const QString &table, const QStringList &names, const QStringList &types);

// The column types of a file (every record but a header), or false with the reason. Bad records
// are left out: the import lists them. `progress` hears the bytes read and returns false to stop.
struct CsvLayout {
    QStringList names;
    QStringList types;
    qint64 records = 0;
};
bool inferLayout(const QString &path, const CsvDetection &detection, engine::Dialect dialect, CsvLayout &layout,
                 QString &error, const std::function<bool(qint64, qint64)> &progress = {});

} // namespace pelldrake::maintenance
