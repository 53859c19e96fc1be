// The CSV reader and writer, detection and column types. The reader is held to what Python's
// standard csv module reads from the same awkward files with the same dialect.
#include "maintenance/csv_detect.h"
#include "maintenance/csv_format.h"
#include "maintenance/csv_pg_export.h"
#include "maintenance/line_io.h"

#include "engine/field.h"

#include "file_bytes.h"
#include "temp_dirs.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QStringEncoder>

#include <gtest/gtest.h>

using namespace pelldrake;
using namespace pelldrake::maintenance;
using pelldrake::test::writeBytes;

namespace {

struct Rows {
    QList<QStringList> records;
    QList<qint64> lines;
    QStringList faults; // "line N: why"
};

Rows readAll(const QString &path, CsvDialect dialect, CsvEncoding encoding)
{
    Rows rows;
    CsvReader reader(path, dialect, encoding);
    EXPECT_TRUE(reader.open()) << path.toStdString();
    for (CsvReader::Status s = reader.next(); s != CsvReader::Status::End; s = reader.next()) {
        if (s == CsvReader::Status::BadRecord) {
            rows.faults << QStringLiteral("line %1: %2").arg(reader.firstLine()).arg(reader.fault());
            continue;
        }
        QStringList fields;
        for (int i = 0; i < reader.fieldCount(); ++i)
            fields << QString::fromUtf8(reader.field(i));
        rows.records << fields;
        rows.lines << reader.firstLine();
    }
    return rows;
}

QByteArray cp1252(const QString &text)
{
    // The few characters the tests use that differ from Latin-1.
    QByteArray out;
    for (const QChar c : text) {
        if (c == QChar(0x20AC))
            out += '\x80';
        else if (c == QChar(0x2019))
            out += '\x92';
        else if (c == QChar(0x201C))
            out += '\x93';
        else if (c == QChar(0x201D))
            out += '\x94';
        else
            out += char(c.unicode());
    }
    return out;
}

QByteArray utf16(const QString &text, QStringConverter::Encoding e)
{
    QStringEncoder encoder(e, QStringConverter::Flag::WriteBom);
    return encoder.encode(text);
}

struct Awkward {
    const char *name;
    QByteArray bytes;
    char delimiter = ',';
    CsvEncoding encoding = CsvEncoding::Utf8;
    const char *pythonEncoding = "utf-8";
};

QList<Awkward> awkwardFiles()
{
    QByteArray longField = "\"";
    for (int i = 0; i < 60000; ++i)
        longField += "forty-odd bytes of text, a \"\"quote\"\" and\r\n";
    longField += "\"";
    QByteArray manyCrlf = "id,name,note\r\n";
    for (int i = 0; i < 40000; ++i)
        manyCrlf += QByteArray::number(i) + ",\"name " + QByteArray::number(i) + "\",x\r\n";
    QByteArray manyCr;
    for (int i = 0; i < 90000; ++i)
        manyCr += "a" + QByteArray::number(i) + ",\"b\rc\"\r";
    const QString excel = QStringLiteral("Name;Price;Note\r\nCaf\u00e9;\u20ac 3,50;\"It\u2019s \u201cgood\u201d\r\nreally\"\r\n");
    return {
        {"plain", "a,b,c\n1,2,3\n"},
        {"crlf", "a,b\r\n1,2\r\n"},
        {"cr only", "a,b\r1,2\r3,4\r"},
        {"no last line end", "a,b\n1,2"},
        {"quoted delimiter", "a,b\n\"x,y\",z\n"},
        {"quoted lf", "a,b\n\"line1\nline2\",z\n"},
        {"quoted crlf", "a,b\r\n\"line1\r\nline2\",z\r\n"},
        {"quoted cr", "a,b\r\n\"line1\rline2\",z\r\n"},
        {"doubled quotes", "a\n\"say \"\"hi\"\"\"\n"},
        {"empty fields", "a,b,c\n,,\n,x,\n"},
        {"quoted empty", "a,b\n\"\",\"\"\n"},
        {"all quoted", "\"a\",\"b\"\n\"1\",\"2\"\n"},
        {"blank lines", "a,b\n\n1,2\r\n\r\n\n3,4\n\n"},
        {"trailing delimiter", "a,b,\n1,2,\n"},
        {"spaces kept", " a , b \n 1 ,2 \n"},
        {"utf-8 bom", "\xEF\xBB\xBFid,name\n1,Zo\xC3\xAB\n", ',', CsvEncoding::Utf8, "utf-8-sig"},
        {"utf-16le bom", utf16(QStringLiteral("id,name\r\n1,\u00c7elik\r\n2,\"a\r\nb\"\r\n"), QStringConverter::Utf16LE), ',',
         CsvEncoding::Utf16LE, "utf-16"},
        {"utf-16be bom", utf16(QStringLiteral("x;y\n\u65e5\u672c;\"q\"\"\"\n"), QStringConverter::Utf16BE), ';',
         CsvEncoding::Utf16BE, "utf-16"},
        {"windows-1252", cp1252(QStringLiteral("name,price\nCaf\u00e9,\u20ac5\nna\u00efve,\u201cx\u201d\n")), ',',
         CsvEncoding::Windows1252, "cp1252"},
        {"semicolons", "a;b;c\n1,5;2;\"x;y\"\n", ';'},
        {"tabs", "a\tb\n\"x\ty\"\tz\n1\t\n", '\t'},
        {"pipes", "a|b\n1|\"|\"\n", '|'},
        {"blank header names", "a,,c,\n1,2,3,4\n"},
        {"duplicate header names", "a,a,A,b\n1,2,3,4\n"},
        {"multibyte", "k,v\n\xE6\x97\xA5\xE6\x9C\xAC,\xF0\x9F\x98\x80\n"},
        {"line separator in quotes", "k,v\n1,\"a\xE2\x80\xA8" "b\xE2\x80\xA9" "c\"\n"},
        {"field across reads", "k,v\n1," + longField + "\n2,after\n"},
        {"crlf across reads", manyCrlf},
        {"cr across reads", manyCr},
        {"quoted last field, no line end", "a,b\n1,\"two\""},
        {"single column", "only\n1\n\"\"\n3\n"},
        {"just a quote", "q\n\"\"\"\"\n"},
        {"mixed line ends", "a,b\r\n1,2\n3,4\r5,6\r\n"},
        {"quoted then cr", "a,b\r\"1\",\"2\"\r"},
        {"ragged records", "a,b,c\n1\n1,2,3,4\n"},
        {"excel semicolons in windows-1252", cp1252(excel), ';', CsvEncoding::Windows1252, "cp1252"},
    };
}

QString python()
{
    return QStandardPaths::findExecutable(QStringLiteral("python3"));
}

// Python's csv module reads the files: path -> list of records (blank lines, [], left out).
QJsonObject pythonReads(const QJsonArray &files)
{
    const char *script = R"(
import csv, json, sys
csv.field_size_limit(sys.maxsize)
out = {}
for f in json.load(sys.stdin):
    with open(f["path"], newline="", encoding=f["encoding"]) as fh:
        out[f["path"]] = [r for r in csv.reader(fh, delimiter=f["delimiter"], quotechar='"') if r != []]
json.dump(out, sys.stdout)
)";
    QProcess p;
    p.start(python(), {QStringLiteral("-c"), QString::fromLatin1(script)});
    p.write(QJsonDocument(files).toJson());
    p.closeWriteChannel();
    EXPECT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    return QJsonDocument::fromJson(p.readAllStandardOutput()).object();
}

QList<QStringList> recordsOf(const QJsonArray &array)
{
    QList<QStringList> records;
    for (const QJsonValue &r : array) {
        QStringList fields;
        for (const QJsonValue &f : r.toArray())
            fields << f.toString();
        records << fields;
    }
    return records;
}

class CsvFormatTest : public ::testing::Test {
protected:
    QString path(const QString &name) { return dir.filePath(name); }
    test::TempDir dir;
};

TEST_F(CsvFormatTest, EveryAwkwardFileReadsAsPythonsCsvModuleReadsIt)
{
    if (python().isEmpty())
        GTEST_SKIP() << "python3 not found";
    const QList<Awkward> files = awkwardFiles();
    ASSERT_GE(files.size(), 30);
    QJsonArray dialects;
    for (int i = 0; i < files.size(); ++i) {
        const QString p = path(QStringLiteral("f%1.csv").arg(i));
        writeBytes(p, files[i].bytes);
        dialects.append(QJsonObject{{QStringLiteral("path"), p},
                                {QStringLiteral("encoding"), QString::fromLatin1(files[i].pythonEncoding)},
                                {QStringLiteral("delimiter"), QString(QLatin1Char(files[i].delimiter))}});
    }
    const QJsonObject expected = pythonReads(dialects);
    for (int i = 0; i < files.size(); ++i) {
        const QString p = path(QStringLiteral("f%1.csv").arg(i));
        const Rows ours = readAll(p, CsvDialect{files[i].delimiter}, files[i].encoding);
        const QList<QStringList> theirs = recordsOf(expected.value(p).toArray());
        EXPECT_TRUE(ours.faults.isEmpty()) << files[i].name << ": " << ours.faults.join(QLatin1Char(' ')).toStdString();
        ASSERT_EQ(ours.records.size(), theirs.size()) << files[i].name;
        for (qsizetype r = 0; r < theirs.size(); ++r)
            ASSERT_EQ(ours.records[r], theirs[r]) << files[i].name << ", record " << r;
    }
}

TEST_F(CsvFormatTest, RecordsAreReportedByTheirFirstLine)
{
    writeBytes(path(QStringLiteral("l.csv")), "a,b\r\n\r\n\"1\r\n2\",x\r\n\"3\n\n4\",y\n5,z\n");
    const Rows rows = readAll(path(QStringLiteral("l.csv")), {}, CsvEncoding::Utf8);
    EXPECT_EQ(rows.lines, (QList<qint64>{1, 3, 5, 8}));
}

TEST_F(CsvFormatTest, AStrayQuoteIsAnErrorOfItsRecordNeverAMerge)
{
    // The quote in `5"` would open a field that swallows the next records in a lax reader.
    writeBytes(path(QStringLiteral("s.csv")), "a,b\n1,5\" disk\n2,ok\n\"3\"x,bad\n4,\"fine\"\n");
    const Rows rows = readAll(path(QStringLiteral("s.csv")), {}, CsvEncoding::Utf8);
    ASSERT_EQ(rows.faults.size(), 2);
    EXPECT_TRUE(rows.faults[0].startsWith(QStringLiteral("line 2: a quote inside an unquoted field")));
    EXPECT_TRUE(rows.faults[1].startsWith(QStringLiteral("line 4: text follows the closing quote")));
    EXPECT_EQ(rows.records, (QList<QStringList>{{"a", "b"}, {"2", "ok"}, {"4", "fine"}}));
    EXPECT_EQ(rows.lines, (QList<qint64>{1, 3, 5}));

    // A quote never closed is the error of the record it opened; reading goes on after its line.
    writeBytes(path(QStringLiteral("u.csv")), "a,b\n1,\"open\n2,x\n3,y\n");
    const Rows open = readAll(path(QStringLiteral("u.csv")), {}, CsvEncoding::Utf8);
    ASSERT_EQ(open.faults.size(), 1);
    EXPECT_TRUE(open.faults[0].startsWith(QStringLiteral("line 2: a quoted field is not closed")));
    EXPECT_EQ(open.records, (QList<QStringList>{{"a", "b"}, {"2", "x"}, {"3", "y"}}));

    // The tab format takes a quote inside a field as data.
    writeBytes(path(QStringLiteral("t.txt")), "a\tb\n5\" disk\t\"x\ty\"\n");
    const Rows tab = readAll(path(QStringLiteral("t.txt")), {'\t', '"', true}, CsvEncoding::Utf8);
    EXPECT_TRUE(tab.faults.isEmpty());
    EXPECT_EQ(tab.records.value(1), (QStringList{"5\" disk", "x\ty"}));

    // Bytes that are not UTF-8 in a UTF-8 read: that record, not the file.
    writeBytes(path(QStringLiteral("b.csv")), "a\n\xE9t\xE9\nok\n");
    const Rows bad = readAll(path(QStringLiteral("b.csv")), {}, CsvEncoding::Utf8);
    EXPECT_EQ(bad.faults.size(), 1);
    EXPECT_EQ(bad.records, (QList<QStringList>{{"a"}, {"ok"}}));
}

TEST_F(CsvFormatTest, WrittenRecordsReadBackAsWrittenHereAndInPython)
{
    const QList<QStringList> values = {
        {"plain", "with,comma", "with \"quote\"", "cr\rlf\nend", "\xE2\x80\xA8sep", "", "0805", "1.10"},
        {"=1+1", " lead", "trail ", "tab\there", "\"", "a;b", "\xC3\xA9", "-0"}};
    for (const CsvQuoting quoting : {CsvQuoting::Minimal, CsvQuoting::All, CsvQuoting::Text}) {
        const QString p = path(QStringLiteral("w%1.csv").arg(int(quoting)));
        LineWriter out(p);
        ASSERT_TRUE(out.open());
        CsvWriter writer(out, ',', quoting);
        for (const QStringList &record : values) {
            for (const QString &v : record)
                writer.field(v.toUtf8(), true);
            writer.null(); // NULL: an empty field, apart from '' ("")
            writer.endRecord();
        }
        ASSERT_TRUE(out.commit());
        CsvReader reader(p, {}, CsvEncoding::Utf8);
        ASSERT_TRUE(reader.open());
        for (const QStringList &record : values) {
            ASSERT_EQ(reader.next(), CsvReader::Status::Record);
            ASSERT_EQ(reader.fieldCount(), record.size() + 1);
            for (int i = 0; i < record.size(); ++i) {
                EXPECT_EQ(QString::fromUtf8(reader.field(i)), record[i]);
                EXPECT_TRUE(reader.quoted(i) || !record[i].isEmpty()); // '' is written ""
            }
            EXPECT_FALSE(reader.quoted(record.size()));
            EXPECT_TRUE(reader.field(record.size()).isEmpty());
        }
        EXPECT_EQ(reader.next(), CsvReader::Status::End);
        EXPECT_TRUE(test::fileBytes(p).endsWith(",\r\n"));
    }
    if (python().isEmpty())
        return;
    const QString p = path(QStringLiteral("w0.csv"));
    const QJsonObject read = pythonReads(QJsonArray{QJsonObject{{QStringLiteral("path"), p},
                                                                {QStringLiteral("encoding"), QStringLiteral("utf-8")},
                                                                {QStringLiteral("delimiter"), QStringLiteral(",")}}});
    QList<QStringList> expected = values;
    for (QStringList &r : expected)
        r << QString();
    EXPECT_EQ(recordsOf(read.value(p).toArray()), expected);
}

TEST_F(CsvFormatTest, TabValuesAreQuotedOnlyWhenTheyWouldBreakTheLine)
{
    const QString p = path(QStringLiteral("t.txt"));
    LineWriter out(p);
    ASSERT_TRUE(out.open());
    for (const char *v : {"plain", "5\" disk", "a\tb", "two\r\nlines", "\"quoted\"", "a,b", ""}) {
        writeTabValue(out, v);
        out.write('|');
    }
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(test::fileBytes(p), "plain|5\" disk|\"a\tb\"|\"two\r\nlines\"|\"\"\"quoted\"\"\"|a,b||");
}

TEST_F(CsvFormatTest, TheServersCsvIsMendedIntoOursForEachQuoteStyle)
{
    // As COPY writes them: t/f, the shortest doubles and their words, \x hex, U+2028 unquoted, \.
    // quoted, LF line ends.
    const std::vector<int> types = {engine::ftInteger, engine::ftMemo, engine::ftBoolean, engine::ftFloat,
                                    engine::ftDate, engine::ftBlob};
    const QList<QByteArray> rows = {"1,plain,t,1.5,2020-01-01,\\x00ff\n",
                                    "2,\"a,b\",f,,infinity,\n",
                                    "3,x\xE2\x80\xA8y,t,NaN,1999-12-31,\n",
                                    "4,\"\\.\",f,-Infinity,,\n",
                                    "5,\"say \"\"hi\"\"\",t,0.1,,\n",
                                    "6,\"\",t,,,"};
    const auto mended = [&](CsvQuoting quoting, bool crlf) {
        const QString p = path(QStringLiteral("mended.csv"));
        LineWriter out(p);
        EXPECT_TRUE(out.open());
        CsvWriter writer(out, ',', quoting, crlf);
        PgCsvRecoder recoder(writer, types, ',', quoting);
        for (const QByteArray &row : rows)
            EXPECT_TRUE(recoder.record(row)) << row.toStdString();
        EXPECT_TRUE(out.commit());
        return test::fileBytes(p);
    };
    EXPECT_EQ(mended(CsvQuoting::Minimal, true), "1,plain,true,1.5,2020-01-01,00ff\r\n"
                                                 "2,\"a,b\",false,,infinity,\r\n"
                                                 "3,\"x\xE2\x80\xA8y\",true,nan,1999-12-31,\r\n"
                                                 "4,\\.,false,-inf,,\r\n"
                                                 "5,\"say \"\"hi\"\"\",true,0.1,,\r\n"
                                                 "6,\"\",true,,,\r\n");
    EXPECT_EQ(mended(CsvQuoting::All, false), "\"1\",\"plain\",\"true\",\"1.5\",\"2020-01-01\",\"00ff\"\n"
                                              "\"2\",\"a,b\",\"false\",,\"infinity\",\n"
                                              "\"3\",\"x\xE2\x80\xA8y\",\"true\",\"nan\",\"1999-12-31\",\n"
                                              "\"4\",\"\\.\",\"false\",\"-inf\",,\n"
                                              "\"5\",\"say \"\"hi\"\"\",\"true\",\"0.1\",,\n"
                                              "\"6\",\"\",\"true\",,,\n");
    EXPECT_EQ(mended(CsvQuoting::Text, true), "1,\"plain\",true,1.5,2020-01-01,00ff\r\n"
                                              "2,\"a,b\",false,,infinity,\r\n"
                                              "3,\"x\xE2\x80\xA8y\",true,nan,1999-12-31,\r\n"
                                              "4,\"\\.\",false,-inf,,\r\n"
                                              "5,\"say \"\"hi\"\"\",true,0.1,,\r\n"
                                              "6,\"\",true,,,\r\n");

    // What the server never writes is refused, not written half.
    const QString p = path(QStringLiteral("bad.csv"));
    LineWriter out(p);
    ASSERT_TRUE(out.open());
    CsvWriter writer(out, ',', CsvQuoting::Minimal);
    PgCsvRecoder recoder(writer, types, ',', CsvQuoting::Minimal);
    EXPECT_FALSE(recoder.record("7,\"open,t\n"));
    EXPECT_FALSE(recoder.record("8,a,t,1,2020-01-01,,extra\n"));
}

TEST_F(CsvFormatTest, DetectionFindsEncodingDelimiterAndHeader)
{
    struct Case {
        QByteArray bytes;
        CsvEncoding encoding;
        char delimiter;
        bool header;
    };
    const QList<Case> cases = {
        {"id,name,price\n1,Ann,2.5\n2,\"B, b\",3\n", CsvEncoding::Utf8, ',', true},
        {"1;Ann;2,5\n2;Bob;3,5\n", CsvEncoding::Utf8, ';', false},
        {"a\tb\tc\n1\t2\t3\n", CsvEncoding::Utf8, '\t', true},
        {"x|y\n1|2\n3|4\n", CsvEncoding::Utf8, '|', true},
        {"name;city\nJos\xE9;Li\xE8ge\n", CsvEncoding::Windows1252, ';', true},
        {"\xEF\xBB\xBFk,v\n1,2\n", CsvEncoding::Utf8, ',', true},
        {utf16(QStringLiteral("k\tv\r\n1\t2\r\n"), QStringConverter::Utf16LE), CsvEncoding::Utf16LE, '\t', true},
    };
    for (qsizetype i = 0; i < cases.size(); ++i) {
        const QString p = path(QStringLiteral("d%1.csv").arg(i));
        writeBytes(p, cases[i].bytes);
        CsvDetection d;
        QString error;
        ASSERT_TRUE(detectCsv(p, d, error)) << i << error.toStdString();
        EXPECT_EQ(d.encoding, cases[i].encoding) << i;
        EXPECT_EQ(d.dialect.delimiter, cases[i].delimiter) << i;
        EXPECT_EQ(d.header, cases[i].header) << i;
    }
    CsvDetection d;
    QString error;
    writeBytes(path(QStringLiteral("empty.csv")), "");
    EXPECT_FALSE(detectCsv(path(QStringLiteral("empty.csv")), d, error));
    EXPECT_TRUE(error.contains(QStringLiteral("is empty")));
    writeBytes(path(QStringLiteral("image.png")), QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    EXPECT_FALSE(detectCsv(path(QStringLiteral("image.png")), d, error));
    EXPECT_TRUE(error.contains(QStringLiteral("not text")));
    EXPECT_FALSE(detectCsv(path(QStringLiteral("missing.csv")), d, error));
    EXPECT_TRUE(error.startsWith(QStringLiteral("Cannot read the file")));
}

TEST_F(CsvFormatTest, ColumnTypesComeFromEveryValueAndKeepTheText)
{
    auto typeOf = [](const QStringList &values, engine::Dialect dialect) {
        CsvColumnType t;
        for (const QString &v : values)
            t.add(v.toUtf8());
        return t.declaredType(dialect).toStdString();
    };
    const auto lite = engine::Dialect::Sqlite;
    const auto pg = engine::Dialect::Postgres;
    EXPECT_EQ(typeOf({"1", "-20", "300"}, lite), "INTEGER");
    EXPECT_EQ(typeOf({"1", "3000000000"}, pg), "BIGINT");
    EXPECT_EQ(typeOf({"1", "0805"}, lite), "TEXT");               // a leading zero
    EXPECT_EQ(typeOf({"1234567890123456789"}, lite), "TEXT");     // more than 18 digits
    EXPECT_EQ(typeOf({"true", "false"}, lite), "BOOLEAN");
    EXPECT_EQ(typeOf({"12.50", "3.10", "100.00"}, pg), "NUMERIC(5,2)");
    EXPECT_EQ(typeOf({"12.50", "3.10"}, lite), "TEXT");           // SQLite would store 12.5
    EXPECT_EQ(typeOf({"12.25", "3.75"}, lite), "NUMERIC(4,2)");
    EXPECT_EQ(typeOf({"1.5", "2", "0.125"}, lite), "REAL");
    EXPECT_EQ(typeOf({"1.5", "2", "0.125"}, pg), "DOUBLE PRECISION");
    EXPECT_EQ(typeOf({"1.10", "2.5"}, pg), "TEXT");               // one scale would change one
    EXPECT_EQ(typeOf({"2024-02-29", "1999-12-31"}, lite), "DATE");
    EXPECT_EQ(typeOf({"2024-02-30"}, lite), "TEXT");
    EXPECT_EQ(typeOf({"2024-01-02 03:04:05", "2024-01-02 03:04:05.250"}, pg), "TIMESTAMP");
    EXPECT_EQ(typeOf({"2024-01-02T03:04:05"}, pg), "TEXT");       // would come back with a space
    EXPECT_EQ(typeOf({"1", "x"}, lite), "TEXT");
    EXPECT_EQ(typeOf({}, lite), "TEXT");

    EXPECT_EQ(columnNames({"id", "", " Name ", "name", "ID", "a\tb"}, 7),
              (QStringList{"id", "field2", "Name", "name_2", "ID_2", "a_b", "field7"}));
    EXPECT_EQ(columnNames({}, 2), (QStringList{"field1", "field2"}));
}

} // namespace
