#include "maintenance/dump_format.h"

#include <QDir>

#include <cstring>

namespace pelldrake::maintenance {

namespace {

bool startsWith(const QByteArray &line, const char *prefix)
{
    return line.startsWith(QByteArrayView(prefix, qsizetype(std::strlen(prefix))));
}

} // namespace

QString dumpDirectory()
{
    return QDir::current().filePath(QStringLiteral("Table_Dump"));
}

QString dumpFileName(const QString &alias, const QString &tableName)
{
    QString name = alias + QLatin1Char('_') + tableName;
    for (QChar &c : name) {
        if (c == QLatin1Char('.') || c == QLatin1Char('/') || c == QLatin1Char('\\'))
            c = QLatin1Char('_');
    }
    return name + QStringLiteral(".txt");
}

QString dumpFilePath(const QString &alias, const QString &tableName)
{
    return QDir(dumpDirectory()).filePath(dumpFileName(alias, tableName));
}

DumpWriter::DumpWriter(LineWriter &out, const QStringList &fieldNames)
    : out_(out)
{
    prefixes_.reserve(size_t(fieldNames.size()));
    for (const QString &name : fieldNames)
        prefixes_.push_back(name.toUtf8() + '=');
}

void DumpWriter::beginRecord()
{
    out_.writeUtf8(QByteArray::fromRawData(kRecordMarker, qsizetype(sizeof kRecordMarker - 1)));
    out_.endLine();
}

void DumpWriter::writeNull(int field)
{
    out_.writeUtf8(prefixes_[size_t(field)]);
    out_.endLine();
}

void DumpWriter::writeValue(int field, QStringView text)
{
    writeValue(field, text.toUtf8());
}

void DumpWriter::writeValue(int field, QByteArrayView utf8)
{
    out_.writeUtf8(prefixes_[size_t(field)]);
    if (utf8.isEmpty()) {
        out_.endLine();
        out_.writeAscii(QLatin1StringView(kEmptyMarker));
        out_.endLine();
        return;
    }
    // Each further line of a value goes behind the continuation prefix.
    qsizetype from = 0;
    for (qsizetype nl = utf8.indexOf('\n'); nl >= 0; nl = utf8.indexOf('\n', from)) {
        out_.writeUtf8(utf8.sliced(from, nl - from));
        out_.endLine();
        out_.writeAscii(QLatin1StringView(kContinuation));
        from = nl + 1;
    }
    out_.writeUtf8(utf8.sliced(from));
    out_.endLine();
}

bool DumpReader::fetch()
{
    if (pending_)
        return true;
    if (!in_.readLine(line_))
        return false;
    pending_ = true;
    pendingLine_ = in_.lineNumber();
    // A byte-order mark that an editor put before the first line.
    if (pendingLine_ == 1 && line_.startsWith("\xEF\xBB\xBF"))
        line_.remove(0, 3);
    return true;
}

void DumpReader::skipped(QByteArrayView line)
{
    if (skipped_++ == 0)
        firstSkipped_ = itemLine_;
    if (!skippedCr_) {
        const QByteArrayView marker(kRecordMarker, qsizetype(sizeof kRecordMarker - 1));
        const qsizetype at = line.indexOf(marker);
        skippedCr_ = at >= 0
            && ((at > 0 && line.at(at - 1) == '\r')
                || (at + marker.size() < line.size() && line.at(at + marker.size()) == '\r'));
    }
}

void DumpReader::skip()
{
    skipped(name_.toUtf8()); // line_ may hold the line after the field's value already
}

DumpReader::Item DumpReader::next()
{
    while (fetch()) {
        pending_ = false;
        itemLine_ = pendingLine_;
        if (line_ == kRecordMarker)
            return Item::Record;
        // Further lines and empty markers belong to a field line; on their own
        // they are skipped like any line without a field.
        if (line_.isEmpty() || startsWith(line_, kContinuation) || line_ == kEmptyMarker)
            continue;
        const qsizetype eq = line_.indexOf('=');
        if (eq < 0) {
            skipped(line_);
            continue;
        }
        const QByteArrayView line(line_);
        name_ = lineText(line.first(eq));
        value_ = lineText(line.sliced(eq + 1));
        null_ = value_.isEmpty();
        // The value's further lines, or its empty marker.
        while (fetch()) {
            if (startsWith(line_, kContinuation)) {
                value_ += QLatin1Char('\n');
                value_ += lineText(QByteArrayView(line_).sliced(qsizetype(sizeof kContinuation - 1)));
                null_ = false;
                pending_ = false;
            } else if (line_ == kEmptyMarker) {
                null_ = false;
                pending_ = false;
            } else {
                break;
            }
        }
        return Item::Field;
    }
    return Item::End;
}

} // namespace pelldrake::maintenance
