// Comma-separated text: see csv_format.h.
#include "maintenance/csv_format.h"

#include <QStringList>

#include <algorithm>
#include <cstring>

namespace pelldrake::maintenance {

namespace {

constexpr qsizetype kReadSize = 1024 * 1024;

// Windows-1252 differs from Latin-1 in 0x80-0x9F; the five holes map to the C1 controls, as
// the code page's best-fit table does, so no byte is lost.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void appendUtf8(QByteArray &out, char16_t c)
{
    if (c < 0x80) {
        out.append(char(c));
    } else if (c < 0x800) {
        out.append(char(0xC0 | (c >> 6)));
        out.append(char(0x80 | (c & 0x3F)));
    } else {
        out.append(char(0xE0 | (c >> 12)));
        out.append(char(0x80 | ((c >> 6) & 0x3F)));
        out.append(char(0x80 | (c & 0x3F)));
    }
}

struct EncodingName {
    CsvEncoding encoding;
    const char *name;
};
constexpr EncodingName kNames[] = {
    {CsvEncoding::Utf8, "UTF-8"},           {CsvEncoding::Utf16LE, "UTF-16LE"},
    {CsvEncoding::Utf16BE, "UTF-16BE"},     {CsvEncoding::Windows1252, "Windows-1252"},
    {CsvEncoding::Latin1, "ISO-8859-1"},
};

} // namespace

QString encodingName(CsvEncoding encoding)
{
    for (const EncodingName &n : kNames)
        if (n.encoding == encoding)
            return QString::fromLatin1(n.name);
    return {};
}

QStringList encodingNames()
{
    QStringList names;
    for (const EncodingName &n : kNames)
        names << QString::fromLatin1(n.name);
    return names;
}

bool encodingFromName(const QString &given, CsvEncoding &encoding)
{
    QString name = given.trimmed().toUpper();
    name.remove(QLatin1Char('-')).remove(QLatin1Char('_'));
    static const struct {
        const char *alias;
        CsvEncoding encoding;
    } aliases[] = {{"UTF8", CsvEncoding::Utf8},         {"UTF16LE", CsvEncoding::Utf16LE},
                   {"UTF16", CsvEncoding::Utf16LE},     {"UTF16BE", CsvEncoding::Utf16BE},
                   {"WINDOWS1252", CsvEncoding::Windows1252}, {"CP1252", CsvEncoding::Windows1252},
                   {"ISO88591", CsvEncoding::Latin1},   {"LATIN1", CsvEncoding::Latin1}};
    for (const auto &a : aliases) {
        if (name == QLatin1String(a.alias)) {
            encoding = a.encoding;
            return true;
        }
    }
    return false;
}

int byteOrderMark(QByteArrayView head, CsvEncoding &encoding)
{
    if (head.startsWith("\xEF\xBB\xBF")) {
        encoding = CsvEncoding::Utf8;
        return 3;
    }
    if (head.startsWith("\xFF\xFE")) {
        encoding = CsvEncoding::Utf16LE;
        return 2;
    }
    if (head.startsWith("\xFE\xFF")) {
        encoding = CsvEncoding::Utf16BE;
        return 2;
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------
// Reader

CsvReader::CsvReader(const QString &path, CsvDialect dialect, CsvEncoding encoding)
    : file_(path), dialect_(dialect), encoding_(encoding)
{
    stops_.fill(false);
    for (const char c : {dialect.delimiter, '\r', '\n'})
        stops_[static_cast<unsigned char>(c)] = true;
    if (dialect.quote && !dialect.quoteInFieldIsData)
        stops_[static_cast<unsigned char>(dialect.quote)] = true;
    if (encoding == CsvEncoding::Utf16LE)
        decoder_ = QStringDecoder(QStringConverter::Utf16LE);
    else if (encoding == CsvEncoding::Utf16BE)
        decoder_ = QStringDecoder(QStringConverter::Utf16BE);
}

bool CsvReader::open()
{
    if (!file_.open(QIODevice::ReadOnly)) {
        error_ = file_.errorString();
        return false;
    }
    size_ = file_.size();
    CsvEncoding marked = encoding_;
    const int bom = byteOrderMark(file_.peek(4), marked);
    if (bom > 0 && marked == encoding_)
        file_.read(bom);
    return true;
}

void CsvReader::decode(const char *bytes, qsizetype n, bool last)
{
    switch (encoding_) {
    case CsvEncoding::Utf8:
        buffer_.append(bytes, n);
        break;
    case CsvEncoding::Utf16LE:
    case CsvEncoding::Utf16BE: {
        const QString text = decoder_.decode(QByteArrayView(bytes, n));
        buffer_.append(text.toUtf8());
        if (last && decoder_.hasError()) // an odd byte at the end: kept visible, not dropped
            buffer_.append("\xEF\xBF\xBD");
        break;
    }
    case CsvEncoding::Windows1252:
    case CsvEncoding::Latin1:
        buffer_.reserve(buffer_.size() + n * 2);
        for (qsizetype i = 0; i < n; ++i) {
            const auto b = static_cast<unsigned char>(bytes[i]);
            if (b < 0x80)
                buffer_.append(char(b));
            else if (b < 0xA0 && encoding_ == CsvEncoding::Windows1252)
                appendUtf8(buffer_, kCp1252High[b - 0x80]);
            else
                appendUtf8(buffer_, char16_t(b));
        }
        break;
    }
}

bool CsvReader::fill()
{
    if (eof_)
        return false;
    buffer_.remove(0, pos_); // what was consumed goes; the record being read stays
    pos_ = 0;
    QByteArray chunk(kReadSize, Qt::Uninitialized);
    const qint64 n = file_.read(chunk.data(), kReadSize);
    if (n < 0) {
        failed_ = true;
        error_ = file_.errorString();
        eof_ = true;
        return false;
    }
    eof_ = n == 0 || file_.atEnd();
    decode(chunk.constData(), n, eof_);
    return n > 0;
}

// Parses the record at pos_. Done: its end (after the line end) in `end`. Bad: fault_ and
// faultLine_ say why and where; `end` is where reading goes on. More: the buffer ends inside
// the record before the file does.
CsvReader::Parse CsvReader::parse(qsizetype &end)
{
    const char *data = buffer_.constData();
    const qsizetype n = buffer_.size();
    const char delim = dialect_.delimiter;
    const char quote = dialect_.quote;
    qint64 line = line_;
    qsizetype i = pos_;
    fieldCount_ = 0;
    // A field is a view of the buffer; only one holding "" is written out, unquoted, into
    // record_, which no record outgrows: it is at most what is left of the buffer.
    if (record_.size() < n - pos_)
        record_.resize(n - pos_);
    char *const out = record_.data();
    qsizetype used = 0;

    auto fault = [&](const char *why, qint64 at) {
        fault_ = QString::fromLatin1(why);
        faultLine_ = at;
        faultColumn_ = fieldCount_;
        return Parse::Bad;
    };
    // Line ends inside a quoted field.
    auto countLines = [&](qsizetype from, qsizetype to) {
        for (qsizetype k = from; k < to; ++k) {
            if (data[k] == '\n')
                ++line;
            else if (data[k] == '\r' && (k + 1 >= to || data[k + 1] != '\n'))
                ++line;
        }
    };
    auto copyOut = [&](qsizetype from, qsizetype to) {
        std::memcpy(out + used, data + from, size_t(to - from));
        used += to - from;
    };

    for (;;) {
        if (quote && i < n && data[i] == quote) {
            ++i;
            const qsizetype content = i;
            const qsizetype outBegin = used;
            bool doubled = false;
            qsizetype close = 0;
            for (;;) {
                const void *hit = i < n ? std::memchr(data + i, quote, size_t(n - i)) : nullptr;
                if (!hit) {
                    if (!eof_)
                        return Parse::More;
                    unclosed_ = true;
                    return fault("a quoted field is not closed before the end of the file", firstLine_);
                }
                const qsizetype q = static_cast<const char *>(hit) - data;
                countLines(i, q);
                if (q + 1 < n && data[q + 1] == quote) { // "" stands for one quote
                    copyOut(doubled ? i : content, q + 1);
                    doubled = true;
                    i = q + 2;
                    continue;
                }
                if (q + 1 >= n && !eof_)
                    return Parse::More; // the next byte may be a second quote
                if (doubled)
                    copyOut(i, q);
                close = q;
                i = q + 1;
                break;
            }
            if (i < n && data[i] != delim && data[i] != '\r' && data[i] != '\n') {
                end = i;
                return fault("text follows the closing quote of a field", line);
            }
            addField(doubled ? Field{out + outBegin, used - outBegin, true} : Field{data + content, close - content, true});
        } else {
            const qsizetype from = i;
            while (i < n && !stops_[static_cast<unsigned char>(data[i])])
                ++i;
            if (i < n && data[i] == quote && quote) {
                end = i;
                return fault("a quote inside an unquoted field (quote the field and double the quote)", line);
            }
            if (i >= n && !eof_)
                return Parse::More;
            addField({data + from, i - from, false});
        }
        if (i >= n) {
            end = n;
            line_ = line; // a last line without an end
            return Parse::Done;
        }
        const char c = data[i];
        if (c == delim) {
            ++i;
            continue;
        }
        if (c == '\r') {
            if (i + 1 >= n && !eof_)
                return Parse::More; // CR LF cut by the read
            i += (i + 1 < n && data[i + 1] == '\n') ? 2 : 1;
        } else {
            ++i;
        }
        end = i;
        line_ = line + 1;
        return Parse::Done;
    }
}

// Goes on after the first line end at or after `from` (or at the end of the file); what is
// passed over from pos_ on, without that line end, becomes rawText_ (its first megabyte: a bad
// record is shown, not kept whole).
void CsvReader::skipLine(qsizetype from)
{
    constexpr qsizetype kShown = 1024 * 1024;
    rawText_.truncate(0);
    for (;;) {
        const char *data = buffer_.constData();
        const qsizetype n = buffer_.size();
        qsizetype k = from;
        while (k < n && data[k] != '\n' && data[k] != '\r')
            ++k;
        if (k < n && !(data[k] == '\r' && k + 1 >= n && !eof_)) {
            rawText_.append(data + pos_, std::min(k - pos_, std::max<qsizetype>(0, kShown - rawText_.size())));
            pos_ = k + ((data[k] == '\r' && k + 1 < n && data[k + 1] == '\n') ? 2 : 1);
            return;
        }
        if (k >= n && eof_) {
            rawText_.append(data + pos_, std::min(n - pos_, std::max<qsizetype>(0, kShown - rawText_.size())));
            pos_ = n;
            return;
        }
        // The line goes on in the next read: what was passed over is let go.
        rawText_.append(data + pos_, std::min(k - pos_, std::max<qsizetype>(0, kShown - rawText_.size())));
        pos_ = k;
        fill();
        from = pos_;
    }
}

CsvReader::Status CsvReader::next()
{
    for (;;) {
        // Blank lines are no records.
        while (true) {
            if (pos_ >= buffer_.size() && !fill() && pos_ >= buffer_.size())
                return Status::End;
            const char c = buffer_.at(pos_);
            if (c != '\r' && c != '\n')
                break;
            if (c == '\r' && pos_ + 1 >= buffer_.size() && !eof_) {
                fill();
                continue;
            }
            pos_ += (c == '\r' && pos_ + 1 < buffer_.size() && buffer_.at(pos_ + 1) == '\n') ? 2 : 1;
            ++line_;
        }
        firstLine_ = line_;
        qsizetype end = 0;
        unclosed_ = false;
        Parse result = parse(end);
        while (result == Parse::More) {
            if (buffer_.size() - pos_ > kMaxRecord) {
                fault_ = QStringLiteral("the record is longer than %1 MB (a quote not closed?)").arg(kMaxRecord >> 20);
                faultLine_ = firstLine_;
                faultColumn_ = 0;
                unclosed_ = true;
                result = Parse::Bad;
                break;
            }
            fill();
            result = parse(end);
        }
        if (result == Parse::Done) {
            qsizetype textEnd = end;
            while (textEnd > pos_ && (buffer_.at(textEnd - 1) == '\n' || buffer_.at(textEnd - 1) == '\r'))
                --textEnd;
            rawView_ = QByteArrayView(buffer_.constData() + pos_, textEnd - pos_);
            pos_ = end;
            // Quotes, delimiters and line ends are ASCII: the text is valid when every field is.
            if (encoding_ == CsvEncoding::Utf8 && !rawView_.isValidUtf8()) {
                fault_ = QStringLiteral("the text is not valid UTF-8 (choose the file's encoding)");
                faultLine_ = firstLine_;
                faultColumn_ = 0;
                for (int f = 0; f < fieldCount(); ++f) {
                    if (!field(f).isValidUtf8()) {
                        faultColumn_ = f;
                        break;
                    }
                }
                return Status::BadRecord;
            }
            return Status::Record;
        }
        // A bad record: reading goes on at the line after the fault's (for a quote never closed,
        // after the record's first line), so no record is taken into another.
        skipLine(unclosed_ ? pos_ : end);
        rawView_ = rawText_;
        line_ = unclosed_ ? firstLine_ + 1 : faultLine_ + 1;
        fieldCount_ = 0;
        return Status::BadRecord;
    }
}

// ---------------------------------------------------------------------------------------------
// Writer

bool CsvWriter::needsQuotes(QByteArrayView utf8, char delimiter)
{
    if (utf8.isEmpty())
        return true; // '' is "", NULL the empty field
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        if (c == delimiter || c == '"' || c == '\r' || c == '\n')
            return true;
        // U+2028 and U+2029 end lines for some readers.
        if (c == '\xE2' && i + 2 < utf8.size() && utf8[i + 1] == '\x80' && (utf8[i + 2] == '\xA8' || utf8[i + 2] == '\xA9'))
            return true;
    }
    return false;
}

void writeQuoted(LineWriter &out, QByteArrayView utf8)
{
    out.write('"');
    qsizetype from = 0;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '"') {
            out.writeUtf8(utf8.sliced(from, i + 1 - from));
            out.write('"');
            from = i + 1;
        }
    }
    out.writeUtf8(utf8.sliced(from));
    out.write('"');
}

void CsvWriter::field(QByteArrayView utf8, bool isText)
{
    separate();
    const bool quote = quoting_ == CsvQuoting::All || (quoting_ == CsvQuoting::Text && isText)
        || needsQuotes(utf8, delimiter_);
    if (quote)
        writeQuoted(out_, utf8);
    else
        out_.writeUtf8(utf8);
}

} // namespace pelldrake::maintenance
