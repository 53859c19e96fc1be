#pragma once

#include "maintenance/line_io.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <vector>

namespace pelldrake::maintenance {

// The table dump file: one block per record,
//
//   <<RECORD
//   NAME=value
//   ...
//
// one field line per field, every line ending in CR LF. A null value is the
// name and "=" alone. Two kinds of line carry what a plain field line cannot,
// and are never mistaken for a field line (their start can be no field name):
//   <<+text   a further line of the value above: a line break, then text
//   <<EMPTY   the value above is an empty text, not null
// A reader that knows only field lines skips both (no field of that name).

inline constexpr char kRecordMarker[] = "<<RECORD";
inline constexpr char kContinuation[] = "<<+";
inline constexpr char kEmptyMarker[] = "<<EMPTY";

// The folder of the dump files: Table_Dump below the current directory.
QString dumpDirectory();
// "SALES" + "ORDERS.DB" -> "SALES_ORDERS_DB.txt": alias, "_", table name, every
// full stop made an underscore. Path separators become underscores too, so a
// table name can never point outside the folder.
QString dumpFileName(const QString &alias, const QString &tableName);
QString dumpFilePath(const QString &alias, const QString &tableName);

// Writes record blocks.
class DumpWriter {
public:
    DumpWriter(LineWriter &out, const QStringList &fieldNames);
    void beginRecord();
    void writeNull(int field);
    void writeValue(int field, QStringView text);
    void writeValue(int field, QByteArrayView utf8);

private:
    LineWriter &out_;
    std::vector<QByteArray> prefixes_; // "NAME=" in UTF-8
};

// Reads record blocks back: markers and complete field values, with their
// further lines joined and the empty marker applied. Lines that are neither
// (no "=", empty, a marker with trailing text) are skipped; those that are not
// empty are counted, with the field lines the caller skips (skip()), so that a
// file that is no dump is not loaded in silence. A UTF-8 byte-order mark
// before the first line is no part of it.
class DumpReader {
public:
    enum class Item { Record, Field, End };

    explicit DumpReader(LineReader &in) : in_(in) {}
    Item next();

    // The field of the last Field item.
    const QString &name() const { return name_; }
    const QString &value() const { return value_; }
    bool isNull() const { return null_; }
    // The line the last item started on (1-based).
    qint64 lineNumber() const { return itemLine_; }

    // The last Field item names no field of the table: counted as skipped.
    void skip();
    // Lines skipped so far (see above), the first of them, and whether any of
    // them holds a record marker joined by a carriage return: a dump whose
    // lines end in CR alone reads as one long line.
    qint64 skippedLines() const { return skipped_; }
    qint64 firstSkippedLine() const { return firstSkipped_; }
    bool skippedCarriageReturn() const { return skippedCr_; }
    // The file ended without a line end: its last item may be cut.
    bool endsUnended() const { return in_.lastLineUnended(); }

private:
    bool fetch(); // the next line into line_, false at the end
    void skipped(QByteArrayView line);

    LineReader &in_;
    QByteArray line_;
    bool pending_ = false; // line_ holds a line not consumed yet
    QString name_;
    QString value_;
    bool null_ = false;
    qint64 itemLine_ = 0;
    qint64 pendingLine_ = 0;
    qint64 skipped_ = 0;
    qint64 firstSkipped_ = 0;
    bool skippedCr_ = false;
};

} // namespace pelldrake::maintenance
