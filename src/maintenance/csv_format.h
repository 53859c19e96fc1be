#pragma once
// Comma-separated text: the reader and the writer. Both stream: what they hold in memory is one
// buffer and the record at hand, whatever the size of the file.
#include "engine/tab_text.h"
#include "maintenance/line_io.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <QStringDecoder>

#include <array>
#include <vector>

namespace pelldrake::maintenance {

// How the file separates and quotes its fields. `quote` 0: no quoting, every character is data.
// `quoteInFieldIsData`: a quote inside an unquoted field is a character of the value, as the tab
// export writes `5" disk` (a field only counts as quoted when it begins with the quote).
struct CsvDialect {
    char delimiter = ',';
    char quote = '"';
    bool quoteInFieldIsData = false;
};

// The encodings a file is read in. The single-byte code pages map each byte to one character.
enum class CsvEncoding { Utf8, Utf16LE, Utf16BE, Windows1252, Latin1 };

QString encodingName(CsvEncoding encoding);        // "UTF-8", "UTF-16LE", ..., "Windows-1252"
bool encodingFromName(const QString &name, CsvEncoding &encoding); // case-insensitive, a few aliases
QStringList encodingNames();

// The byte-order mark at the start of `head`: its encoding and its length (0: none).
int byteOrderMark(QByteArrayView head, CsvEncoding &encoding);

// Reads the records of a file one by one. Text is turned into UTF-8 as it is read, so the fields
// of every encoding come out as UTF-8.
//
// A record's fields may be quoted; a quoted field holds the delimiter, CR, LF and CR LF, and ""
// stands for one quote. Lines end in CR LF, LF or CR; a last line without an end is read too;
// a blank line is no record. A quote inside an unquoted field, or text after a closing quote, is
// an error for that record: the reader reports it (BadRecord) and goes on at the line after the
// one the error was found in, so two records are never merged into one. A quote that is never
// closed is an error of the record it opened; the reader goes on at that record's second line.
class CsvReader {
public:
    CsvReader(const QString &path, CsvDialect dialect, CsvEncoding encoding);

    // False when the file cannot be opened (errorString()). A byte-order mark of the encoding is
    // skipped.
    bool open();

    enum class Status { Record, BadRecord, End };
    Status next();

    // The record read last: its fields as UTF-8, and whether each was quoted.
    int fieldCount() const { return fieldCount_; }
    QByteArrayView field(int i) const
    {
        return QByteArrayView(fields_[size_t(i)].data, fields_[size_t(i)].size);
    }
    bool quoted(int i) const { return fields_[size_t(i)].quoted; }
    // Its line (1-based: the first line of the file is 1) and its text as read (UTF-8, without
    // the line end that closed it).
    qint64 firstLine() const { return firstLine_; }
    QByteArrayView rawText() const { return rawView_; }
    // For a bad record: why, and on which line the fault is.
    QString fault() const { return fault_; }
    qint64 faultLine() const { return faultLine_; }
    int faultColumn() const { return faultColumn_; } // 0-based

    // Bytes of the file consumed so far, and its size: progress.
    qint64 bytesRead() const
    {
        return encoding_ == CsvEncoding::Utf8 ? file_.pos() - qint64(buffer_.size() - pos_) : file_.pos();
    }
    qint64 fileSize() const { return size_; }
    bool failed() const { return failed_; } // a read error (errorString())
    QString errorString() const { return error_; }

    // Longest record kept whole in memory; a longer one is a bad record.
    static constexpr qsizetype kMaxRecord = 32 * 1024 * 1024;

private:
    struct Field { // in the buffer, or in record_ when it held ""
        const char *data;
        qsizetype size;
        bool quoted;
    };
    enum class Parse { Done, Bad, More };
    Parse parse(qsizetype &end);
    bool fill(); // false at the end of the file
    void decode(const char *bytes, qsizetype n, bool last);
    void skipLine(qsizetype from);

    QFile file_;
    CsvDialect dialect_;
    CsvEncoding encoding_;
    QStringDecoder decoder_;
    QByteArray buffer_;  // UTF-8 text; buffer_[pos_] is where the next record begins
    qsizetype pos_ = 0;
    bool eof_ = false;
    bool failed_ = false;
    QString error_;
    qint64 size_ = 0;
    qint64 line_ = 1; // the line at pos_

    QByteArray record_; // the record's fields that held "", unquoted
    std::vector<Field> fields_; // the first fieldCount_ are the record's; grown, never shrunk
    int fieldCount_ = 0;
    void addField(Field f) // per field of the file: no call, no check of capacity but this one
    {
        if (size_t(fieldCount_) == fields_.size())
            fields_.resize(fields_.size() * 2 + 16);
        fields_[size_t(fieldCount_++)] = f;
    }
    std::array<bool, 256> stops_; // the bytes that end an unquoted field
    QByteArrayView rawView_;      // the record as read: in the buffer, or rawText_
    QByteArray rawText_;          // a bad record as read
    qint64 firstLine_ = 0;
    QString fault_;
    qint64 faultLine_ = 0;
    int faultColumn_ = 0;
    bool unclosed_ = false; // the fault is a quote never closed: go on after the first line
};

// Which fields the writer quotes.
enum class CsvQuoting {
    Minimal, // those that need it: the delimiter, a quote, CR, LF, U+2028, U+2029, or empty text
    All,     // every field but NULL
    Text     // text columns always, the others when they need it
};

// Writes records as CSV through a LineWriter (written beside its name, renamed when complete).
// NULL is an empty field and '' is "", so the two stay apart.
class CsvWriter {
public:
    CsvWriter(LineWriter &out, char delimiter, CsvQuoting quoting, bool crlf = true)
        : out_(out), delimiter_(delimiter), quoting_(quoting), crlf_(crlf) {}

    void byteOrderMark() { out_.writeUtf8("\xEF\xBB\xBF"); }
    void field(QByteArrayView utf8, bool isText);
    void null() { separate(); }
    // A field already in its written form, or one to enclose in quotes as it is (it holds none).
    void formed(QByteArrayView bytes)
    {
        separate();
        out_.writeUtf8(bytes);
    }
    void enclosed(QByteArrayView bytes)
    {
        separate();
        out_.write('"');
        out_.writeUtf8(bytes);
        out_.write('"');
    }
    void endRecord()
    {
        if (crlf_)
            out_.endLine();
        else
            out_.write('\n');
        first_ = true;
    }

    // Whether a value must be quoted to be read back as it is.
    static bool needsQuotes(QByteArrayView utf8, char delimiter);

private:
    void separate()
    {
        if (!first_)
            out_.write(delimiter_);
        first_ = false;
    }

    LineWriter &out_;
    char delimiter_;
    CsvQuoting quoting_;
    bool crlf_;
    bool first_ = true;
};

// A value in double quotes, inner quotes doubled.
void writeQuoted(LineWriter &out, QByteArrayView utf8);

// The tab export's form of one value: as it is, unless it holds a tab, CR or LF or begins with a
// quote; then quoted, inner quotes doubled, so one record stays one line. Inline: it runs for
// every value of a table, and nearly every value goes out as it is.
inline void writeTabValue(LineWriter &out, QByteArrayView utf8)
{
    if (engine::tabValueNeedsQuotes(utf8))
        writeQuoted(out, utf8);
    else
        out.writeUtf8(utf8);
}

} // namespace pelldrake::maintenance
