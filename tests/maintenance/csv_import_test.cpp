// CSV import and export on a table of each engine, through a site with no window.
#include "maintenance/command_site.h"
#include "maintenance/csv.h"
#include "maintenance/line_io.h"

#include "engine/database.h"
#include "engine/row_scan.h"

#include "engine_fixture.h"
#include "file_bytes.h"

#include <QCoreApplication>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using namespace pelldrake;
using namespace pelldrake::maintenance;
using namespace pelldrake::engine::test;
using pelldrake::test::fileBytes;
using pelldrake::test::writeBytes;

namespace {

class CsvSite : public CommandSite {
public:
    explicit CsvSite(engine::Table &table) : table_(table) {}
    engine::Table &table() override { return table_; }
    QString aliasName() const override { return QStringLiteral("data"); }
    QString selectedTableName() const override { return table_.tableName(); }
    QString chosenFieldName() const override { return {}; }
    void clearChosenField() override {}
    void showMessage(const QString &text) override { messages << text; }
    void showError(const QString &text) override { errors << text; }
    void showNotice(const QString &text) override { messages << text; }
    bool askYesNo(const QString &, const QString &) override { return true; }
    QString inputBox(const QString &, const QString &, const QString &d) override { return d; }
    void clearFilterBox() override {}
    void postPendingEdit() override {}
    void showRecordCounts() override {}
    void showRecordCount(std::optional<qint64>) noexcept override {}
    void showCurrentRecord(qint64) override {}
    void lockPaneControls(bool) override {}
    void lockCommandControls() override {}
    void unlockControls() noexcept override {}
    void processEvents() override { QCoreApplication::processEvents(); }
    bool reportProgress(qint64, qint64, ProgressUnit) override
    {
        ++reports;
        if (atReport)
            atReport(reports);
        return !stopAfter || reports < *stopAfter;
    }

    engine::Table &table_;
    QStringList messages, errors;
    std::optional<int> stopAfter; // the user asks to stop at this report
    std::function<void(int)> atReport; // what happens elsewhere meanwhile
    int reports = 0;
};

class CsvImportTest : public EngineTest {
protected:
    // Every row of a table as text, its columns joined by "|" (NULL for null), in key order.
    QStringList rowsOf(const QString &table, const QString &order)
    {
        QStringList out;
        QSqlQuery q(db->sqlDatabase());
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT * FROM \"%1\" ORDER BY %2").arg(table, order)));
        auto t = openTable(table);
        while (q.next()) {
            QStringList values;
            for (int i = 0; i < t->fieldCount(); ++i)
                values << (q.isNull(i) ? QStringLiteral("NULL")
                                       : engine::valueToText(t->field(i)->dataType(), q.value(i)));
            out << values.join(QLatin1Char('|'));
        }
        return out;
    }
    qint64 count(const QString &table)
    {
        QSqlQuery q(db->sqlDatabase());
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT COUNT(*) FROM \"%1\"").arg(table)));
        return q.next() ? q.value(0).toLongLong() : -1;
    }
    CsvImportOptions optionsFor(const QString &path)
    {
        CsvImportOptions o;
        o.path = path;
        QString error;
        EXPECT_TRUE(detectCsv(path, o.form, error)) << error.toStdString();
        return o;
    }
    engine::Dialect dialect() const { return pg() ? engine::Dialect::Postgres : engine::Dialect::Sqlite; }
};

TEST_P(CsvImportTest, TableToCsvToNewTableKeepsEveryValueNullEmptyAndLeadingZeros)
{
    const QString source = tableName(QStringLiteral("src"));
    exec(QStringLiteral("CREATE TABLE \"%1\" (id INTEGER PRIMARY KEY, code VARCHAR(10), note TEXT, price NUMERIC(6,2), "
                        "day DATE, flag BOOLEAN, ratio REAL, big BIGINT)")
             .arg(source));
    const QString t = pg() ? QStringLiteral("true") : QStringLiteral("1");
    const QString f = pg() ? QStringLiteral("false") : QStringLiteral("0");
    exec(QStringLiteral("INSERT INTO \"%1\" VALUES "
                        "(1, '0805', 'two\r\nlines, \"quoted\"', 12.50, '2024-02-29', %2, 0.5, 12345678901234),"
                        "(2, '', NULL, NULL, NULL, NULL, NULL, NULL),"
                        "(3, NULL, '', 3.10, '1999-12-31', %3, -2.25, -1),"
                        "(4, '007', 'x\u2028y\tz', 0.00, '2000-01-01', %2, 1e-3, 0)")
             .arg(source, t, f));
    const QStringList original = rowsOf(source, QStringLiteral("id"));

    auto table = openTable(source);
    CsvSite site(*table);
    const QString file = dir.filePath(QStringLiteral("out.csv"));
    CsvExportOptions eo;
    eo.byteOrderMark = true;
    ASSERT_EQ(exportCsv(site, file, eo), CommandResult::Done) << site.errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(fileBytes(file).startsWith("\xEF\xBB\xBFid,code,note,price,day,flag,ratio,big\r\n1,0805,"));
    EXPECT_TRUE(fileBytes(file).contains("\r\n2,\"\",,,,,,\r\n")) << fileBytes(file).toStdString();

    CsvImportOptions o = optionsFor(file);
    EXPECT_TRUE(o.form.header);
    EXPECT_TRUE(o.form.byteOrderMark);
    CsvLayout layout;
    QString error;
    ASSERT_TRUE(inferLayout(file, o.form, dialect(), layout, error)) << error.toStdString();
    EXPECT_EQ(layout.types.value(0), "INTEGER");
    EXPECT_EQ(layout.types.value(1), "TEXT"); // 0805 and 007 keep their zeros
    EXPECT_EQ(layout.types.value(4), "DATE");
    EXPECT_EQ(layout.types.value(5), "BOOLEAN");
    const QString copy = tableName(QStringLiteral("copy"));
    exec(createTableSql(copy, layout.names, layout.types));
    auto target = openTable(copy);
    CsvSite importSite(*target);
    CsvImportReport report;
    ASSERT_EQ(importCsv(importSite, o, report), CommandResult::Done) << importSite.errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(report.summary(), "4 records read, 4 loaded, 0 rejected");
    EXPECT_EQ(rowsOf(copy, QStringLiteral("id")), original);
}

TEST_P(CsvImportTest, FiftyBadRecordsAmongManyAreAllListedAndTheRestLoaded)
{
    const QString name = tableName(QStringLiteral("bad"));
    exec(QStringLiteral("CREATE TABLE \"%1\" (id INTEGER PRIMARY KEY, qty INTEGER, name VARCHAR(20))").arg(name));
    QByteArray bytes = "ID,Qty,Name\r\n"; // names matched without regard to case
    QList<qint64> badLines;
    qint64 line = 2;
    for (int i = 1; i <= 6000; ++i, ++line) {
        const int kind = i % 120 == 0 ? (i / 120) % 4 : -1;
        switch (kind) {
        case 0: // wrong field count
            bytes += QByteArray::number(i) + ",1\r\n";
            break;
        case 1: // a value its column refuses
            bytes += QByteArray::number(i) + ",many,x\r\n";
            break;
        case 2: // a duplicate key
            bytes += QByteArray::number(i - 1) + ",1,dup\r\n";
            break;
        case 3: // a stray quote; its record spans no line
            bytes += QByteArray::number(i) + ",1,5\" disk\r\n";
            break;
        default: // some records span two lines
            bytes += QByteArray::number(i) + "," + QByteArray::number(i % 7) + (i % 10 ? ",n\r\n" : ",\"a\r\nb\"\r\n");
        }
        if (kind >= 0)
            badLines << line;
        if (kind < 0 && i % 10 == 0)
            ++line;
    }
    ASSERT_EQ(badLines.size(), 50);
    const QString file = dir.filePath(QStringLiteral("in.csv"));
    writeBytes(file, bytes);
    auto table = openTable(name);
    CsvSite site(*table);
    CsvImportOptions o = optionsFor(file);
    o.batchSize = 700; // failures in many batches, and in the last one
    o.rejectsPath = dir.filePath(QStringLiteral("rejects.csv"));
    CsvImportReport report;
    EXPECT_EQ(importCsv(site, o, report), CommandResult::Failed);
    EXPECT_EQ(report.read, 6000);
    EXPECT_EQ(report.rejected, 50);
    EXPECT_EQ(report.loaded, 5950);
    EXPECT_EQ(count(name), 5950);
    ASSERT_EQ(report.rejections.size(), 50);
    for (int k = 0; k < 50; ++k)
        EXPECT_EQ(report.rejections[k].line, badLines[k]) << report.rejections[k].text().toStdString();
    EXPECT_EQ(report.rejections[0].text().toStdString(), "line 132, column qty, value \"many\": not a valid integer value");
    EXPECT_TRUE(report.rejections[1].text().startsWith("line 263: Cannot insert the record"))
        << report.rejections[1].text().toStdString();
    EXPECT_TRUE(report.rejections[2].text().startsWith("line 394, column name: a quote inside an unquoted field"));
    EXPECT_EQ(report.rejections[3].text().toStdString(), "line 525, column name: 2 fields where the header has 3");
    EXPECT_TRUE(site.errors.value(0).endsWith("6000 records read, 5950 loaded, 50 rejected"));
    const QByteArray rejects = fileBytes(o.rejectsPath);
    // The header, then the records in the order they were refused (a server may refuse late).
    EXPECT_TRUE(rejects.startsWith("ID,Qty,Name\r\n120,many,x\r\n"));
    for (const char *record : {"\r\n239,1,dup\r\n", "\r\n360,1,5\" disk\r\n", "\r\n480,1\r\n"})
        EXPECT_TRUE(rejects.contains(record)) << record;
    EXPECT_EQ(rejects.count("\r\n"), 51);
}

TEST_P(CsvImportTest, ALargeFileGoesInWholeAroundItsRefusedRecords)
{
    // Megabytes: the records stream to the server while the file is read, in several batches;
    // without a window the COPY runs across the progress reports and a refused batch goes again
    // in parts.
    QByteArray bytes = "id,note,day\n";
    for (int i = 1; i <= 150000; ++i) {
        // Duplicate keys, two of them side by side, and one in the last batch.
        const int id = i == 140001 ? 7 : i == 30001 ? 5 : i == 30002 ? 6 : i;
        // Beside them a value holding quotes, which goes through the appender with its group.
        const QByteArray note = i == 30003 ? "\"say \"\"hi\"\", 30003\"" : "\"some text, " + QByteArray::number(i) + "\"";
        bytes += QByteArray::number(id) + "," + note + "," + (i == 70001 ? "2024-02-30" : "2024-02-29") + "\n";
    }
    const QString file = dir.filePath(QStringLiteral("large.csv"));
    writeBytes(file, bytes);
    for (const bool windowless : {false, true}) {
        SCOPED_TRACE(windowless ? "windowless" : "with a window");
        const QString name = tableName(windowless ? QStringLiteral("large_alone") : QStringLiteral("large"));
        exec(QStringLiteral("CREATE TABLE \"%1\" (id INTEGER PRIMARY KEY, note TEXT, day DATE)").arg(name));
        auto table = openTable(name);
        CsvSite site(*table);
        CsvImportOptions o = optionsFor(file);
        o.windowless = windowless;
        CsvImportReport report;
        EXPECT_EQ(importCsv(site, o, report), CommandResult::Failed);
        EXPECT_EQ(report.summary(), "150000 records read, 149996 loaded, 4 rejected");
        EXPECT_EQ(count(name), 149996);
        ASSERT_EQ(report.rejections.size(), 4);
        EXPECT_EQ(report.rejections[0].line, 30002);
        EXPECT_EQ(report.rejections[1].line, 30003);
        EXPECT_EQ(report.rejections[2].line, 70002);
        EXPECT_EQ(report.rejections[3].line, 140002);
        EXPECT_EQ(rowsOf(name, QStringLiteral("id")).value(30003 - 3), QStringLiteral("30003|say \"hi\", 30003|2024-02-29"));
        if (!windowless) {
            EXPECT_EQ(table->recordCount(), 149996);
        }
    }
}

TEST_P(CsvImportTest, StoppingAtTheFirstErrorOrByTheUserKeepsWhatWasCommitted)
{
    const QString name = tableName(QStringLiteral("stop"));
    exec(QStringLiteral("CREATE TABLE \"%1\" (id INTEGER, qty INTEGER)").arg(name));
    QByteArray bytes = "id,qty\n";
    for (int i = 1; i <= 30000; ++i)
        bytes += QByteArray::number(i) + (i == 25000 ? ",x\n" : ",1\n");
    const QString file = dir.filePath(QStringLiteral("in.csv"));
    writeBytes(file, bytes);
    auto table = openTable(name);
    CsvSite site(*table);
    CsvImportOptions o = optionsFor(file);
    o.stopAtFirstError = true;
    o.batchSize = 1000;
    CsvImportReport report;
    EXPECT_EQ(importCsv(site, o, report), CommandResult::Failed);
    EXPECT_TRUE(report.stoppedAtError);
    EXPECT_EQ(report.summary(), "25000 records read, 24999 loaded, 1 rejected");
    EXPECT_EQ(count(name), 24999);

    exec(QStringLiteral("DELETE FROM \"%1\"").arg(name));
    table->refresh();
    o.stopAtFirstError = false;
    site.stopAfter = 1; // at the first progress report the user asks to stop
    EXPECT_EQ(importCsv(site, o, report), CommandResult::Failed);
    EXPECT_TRUE(report.cancelled);
    EXPECT_LT(report.read, 30000);
    EXPECT_EQ(report.loaded, report.read - report.rejected);
    EXPECT_EQ(count(name), report.loaded);
    EXPECT_TRUE(site.errors.last().contains(QStringLiteral("Stopped at your request")));
}

// The server ends the connection mid-import (a restart, an administrator): the import stops with
// the connection's reason, what was committed stays, the transaction's records are told as not
// stored, and none is called rejected (none was refused).
TEST_P(CsvImportTest, ALostServerStopsTheImportAndSaysWhatWasNotStored)
{
    if (!pg())
        GTEST_SKIP() << "a server's connection";
    const QString name = tableName(QStringLiteral("lost"));
    exec(QStringLiteral("CREATE TABLE \"%1\" (id INTEGER, note TEXT)").arg(name));
    QByteArray bytes = "id,note\n";
    for (int i = 1; i <= 200000; ++i)
        bytes += QByteArray::number(i) + ",some text for record " + QByteArray::number(i) + "\n";
    const QString file = dir.filePath(QStringLiteral("lost.csv"));
    writeBytes(file, bytes);
    auto table = openTable(name);
    QSqlQuery pidQuery(table->database()->sqlDatabase());
    ASSERT_TRUE(pidQuery.exec(QStringLiteral("SELECT pg_backend_pid()")) && pidQuery.next());
    const qint64 pid = pidQuery.value(0).toLongLong();
    pidQuery.finish();

    // Connections of the test's own, as another program's: one ends the import's, one checks after.
    const QString killer = QStringLiteral("csv_lost_killer");
    const QString checker = QStringLiteral("csv_lost_check");
    QSqlDatabase::cloneDatabase(table->database()->sqlDatabase(), killer);
    QSqlDatabase::cloneDatabase(table->database()->sqlDatabase(), checker);
    CsvSite site(*table);
    site.atReport = [&](int report) {
        if (report != 4)
            return;
        QSqlDatabase other = QSqlDatabase::database(killer);
        QSqlQuery q(other);
        EXPECT_TRUE(q.exec(QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid)));
    };
    CsvImportOptions o = optionsFor(file);
    o.windowless = true;
    o.batchSize = 20000;
    CsvImportReport report;
    EXPECT_EQ(importCsv(site, o, report), CommandResult::Failed);
    ASSERT_FALSE(site.errors.isEmpty());
    EXPECT_TRUE(site.errors.last().contains(QStringLiteral("connection"))) << site.errors.last().toStdString();
    EXPECT_EQ(report.rejected, 0);
    EXPECT_LT(report.loaded, report.read);
    EXPECT_TRUE(report.summary().endsWith(QStringLiteral(" not stored"))) << report.summary().toStdString();
    // What the report calls loaded is what the table holds.
    {
        QSqlQuery q(QSqlDatabase::database(checker));
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(name)) && q.next());
        EXPECT_EQ(q.value(0).toLongLong(), report.loaded);
    }
    QSqlDatabase::removeDatabase(killer);
    QSqlDatabase::removeDatabase(checker);
}

TEST_P(CsvImportTest, EmptiesAndTheNullMarkerFollowTheChosenRule)
{
    const QString name = tableName(QStringLiteral("nulls"));
    exec(QStringLiteral("CREATE TABLE \"%1\" (id INTEGER, a TEXT, b TEXT)").arg(name));
    const QString file = dir.filePath(QStringLiteral("n.csv"));
    writeBytes(file, "id,a,b\n1,,\"\"\n2,\\N,\"\\N\"\n");
    auto table = openTable(name);
    CsvSite site(*table);
    const struct {
        CsvNulls nulls;
        const char *marker;
        QStringList rows;
    } cases[] = {
        {CsvNulls::UnquotedEmpty, "", {"1|NULL|", "2|\\N|\\N"}},
        {CsvNulls::EveryEmpty, "\\N", {"1|NULL|NULL", "2|NULL|\\N"}},
        {CsvNulls::NoEmpty, "\\N", {"1||", "2|NULL|\\N"}},
    };
    for (const auto &c : cases) {
        exec(QStringLiteral("DELETE FROM \"%1\"").arg(name));
        table->refresh();
        CsvImportOptions o = optionsFor(file);
        o.nulls = c.nulls;
        o.nullMarker = QString::fromLatin1(c.marker);
        CsvImportReport report;
        ASSERT_EQ(importCsv(site, o, report), CommandResult::Done);
        EXPECT_EQ(rowsOf(name, QStringLiteral("id")), c.rows) << int(c.nulls);
    }
}

TEST_P(CsvImportTest, BadInputIsToldAndNothingIsWritten)
{
    const QString name = tableName(QStringLiteral("guard"));
    exec(QStringLiteral("CREATE TABLE \"%1\" (id INTEGER, name TEXT)").arg(name));
    auto table = openTable(name);
    CsvSite site(*table);
    auto attempt = [&](const QString &path, CsvSite &on) {
        CsvImportOptions o;
        o.path = path;
        CsvImportReport report;
        on.errors.clear();
        EXPECT_EQ(importCsv(on, o, report), CommandResult::BadInput) << path.toStdString();
        return on.errors.join(QLatin1Char('\n')).toStdString();
    };
    writeBytes(dir.filePath(QStringLiteral("empty.csv")), "");
    EXPECT_NE(attempt(dir.filePath(QStringLiteral("empty.csv")), site).find("holds no record"), std::string::npos);
    EXPECT_NE(attempt(dir.filePath(QStringLiteral("missing.csv")), site).find("Cannot read the file"), std::string::npos);
    EXPECT_NE(attempt(dir.path(), site).find("Is a directory"), std::string::npos);
    writeBytes(dir.filePath(QStringLiteral("other.csv")), "id,city\n1,Paris\n");
    EXPECT_NE(attempt(dir.filePath(QStringLiteral("other.csv")), site).find("names no column of the table"), std::string::npos);
    // The same table through an alias that is read-only.
    engine::AliasDef def = *session->aliases().find(QStringLiteral("data"));
    def.name = QStringLiteral("readonly");
    def.readOnly = true;
    session->aliases().add(def);
    engine::Database readOnlyDb(*session);
    readOnlyDb.setDatabaseName(def.name);
    readOnlyDb.open();
    auto readOnly = std::make_unique<engine::Table>(*session);
    readOnly->setDatabaseName(def.name);
    readOnly->setTableName(name);
    readOnly->open();
    ASSERT_FALSE(readOnly->canModify());
    CsvSite viewSite(*readOnly);
    writeBytes(dir.filePath(QStringLiteral("good.csv")), "id,name\n1,Ann\n");
    EXPECT_NE(attempt(dir.filePath(QStringLiteral("good.csv")), viewSite).find("read-only"), std::string::npos);
    EXPECT_EQ(count(name), 0);
}

TEST_P(CsvImportTest, TheTabFormatReadsWhatTheTabExportWrites)
{
    const QString name = tableName(QStringLiteral("tabs"));
    exec(QStringLiteral("CREATE TABLE \"%1\" (id INTEGER, note TEXT)").arg(name));
    exec(QStringLiteral("INSERT INTO \"%1\" VALUES (1, 'a\tb'), (2, 'two\nlines'), (3, '\"lead'), (4, '5\" disk'), (5, 'plain')")
             .arg(name));
    const QStringList original = rowsOf(name, QStringLiteral("id"));
    auto table = openTable(name);
    CsvSite site(*table);
    const QString file = dir.filePath(QStringLiteral("t.txt"));
    ASSERT_EQ(exportTabDelimited(site, file), CommandResult::Done);
    EXPECT_EQ(fileBytes(file), "id\tnote\r\n1\t\"a\tb\"\r\n2\t\"two\nlines\"\r\n3\t\"\"\"lead\"\r\n4\t5\" disk\r\n5\tplain\r\n");
    exec(QStringLiteral("DELETE FROM \"%1\"").arg(name));
    table->refresh();
    CsvImportOptions o;
    o.path = file;
    o.form.dialect = {'\t', '"', true};
    CsvImportReport report;
    ASSERT_EQ(importCsv(site, o, report), CommandResult::Done) << site.errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(rowsOf(name, QStringLiteral("id")), original);
}

// The file the export wrote before the server wrote the rows on PostgreSQL: every value as the
// engine reads it, through the writer.
QByteArray engineCsv(engine::Table &table, const CsvExportOptions &o, const QString &path)
{
    LineWriter out(path);
    EXPECT_TRUE(out.open());
    CsvWriter writer(out, o.delimiter, o.quoting, o.crlf);
    engine::RowScan scan(table);
    for (int i = 0; i < table.fieldCount(); ++i)
        writer.field(table.field(i)->fieldName().toUtf8(), true);
    writer.endRecord();
    while (scan.next()) {
        for (int i = 0; i < scan.fieldCount(); ++i) {
            if (scan.isNull(i))
                writer.null();
            else
                writer.field(scan.utf8(i), engine::isTextType(table.field(i)->dataType()));
        }
        writer.endRecord();
    }
    EXPECT_TRUE(out.commit());
    return fileBytes(path);
}

TEST_P(CsvImportTest, ValuesCopyWouldReadOtherwiseKeepTheirMeaning)
{
    // \. alone ends COPY's data; a backslash, a lone CR inside quotes, "" and spaces are data.
    const QString name = tableName(QStringLiteral("awkward"));
    exec(QStringLiteral("CREATE TABLE \"%1\" (t TEXT, n INTEGER, b BOOLEAN)").arg(name));
    const QString file = dir.filePath(QStringLiteral("awkward.csv"));
    writeBytes(file, "t,n,b\n"
                     "\\.,1,true\n"
                     "a\\b,2,false\n"
                     "\"x\"\"y\r\nz\",3,\n"
                     "\"\",,TRUE\n"
                     "\"cr\ronly\", 5 ,f\n"
                     " spaced ,0,yes\n");
    auto table = openTable(name);
    CsvSite site(*table);
    CsvImportReport report;
    ASSERT_EQ(importCsv(site, optionsFor(file), report), CommandResult::Done) << site.errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(report.summary(), "6 records read, 6 loaded, 0 rejected");
    EXPECT_EQ(rowsOf(name, QStringLiteral("n NULLS FIRST, t")),
              QStringList({QStringLiteral("|NULL|true"), QStringLiteral(" spaced |0|true"), QStringLiteral("\\.|1|true"),
                           QStringLiteral("a\\b|2|false"), QStringLiteral("x\"y\r\nz|3|NULL"),
                           QStringLiteral("cr\ronly|5|false")}));
}

TEST_P(CsvImportTest, ExportWritesEveryTypeAsTheEngineReadsItInEveryStyle)
{
    // With a key and without one (shown in storage order, which an update changes).
    for (const bool keyed : {true, false}) {
        const QString name = tableName(keyed ? QStringLiteral("typed") : QStringLiteral("heap"));
        const QString id = keyed ? QStringLiteral("id INTEGER PRIMARY KEY") : QStringLiteral("id INTEGER");
        if (pg()) {
            exec(QStringLiteral("CREATE TABLE \"%1\" (%2, i2 SMALLINT, i8 BIGINT, n NUMERIC(10,2), nu NUMERIC, r REAL, "
                                "d DOUBLE PRECISION, m MONEY, b BOOLEAN, dt DATE, tm TIME, ttz TIMETZ, ts TIMESTAMP, "
                                "tstz TIMESTAMPTZ, iv INTERVAL, t TEXT, vc VARCHAR(20), c CHAR(5), by BYTEA, u UUID, "
                                "j JSON, arr INT[], pt POINT)")
                     .arg(name, id));
            exec(QStringLiteral(
                     "INSERT INTO \"%1\" VALUES "
                     "(1, 1, 3, 4.5, '1.10', 1.5, 0.1, 12.5, true, '2020-01-01', '12:34:56', '12:34:56+02', "
                     " '2020-02-29 01:02:03.456', '2020-02-29 01:02:03.456+00', '1 day 02:00', 'plain', 'v', 'ab', "
                     " '\\x00ff10', 'a0eebc99-9c0b-4ef8-bb6d-6bb9bd380a11', '{\"a\": \"b,c\"}', '{1,2,3}', '(1,2)'),"
                     "(2, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
                     " NULL, NULL, NULL, NULL, NULL, NULL, NULL),"
                     "(3, -32768, -9223372036854775808, -0.01, 'NaN', 'NaN', 'Infinity', -1, false, '2020-02-29', "
                     " '00:00:00.5', '00:00:00-05', '1999-12-31 23:59:59', '2000-01-01 00:00:00+05', '-1 mon', '', "
                     " '', ' ', '\\x', '00000000-0000-0000-0000-000000000000', '\"\"', '{}', '(0.5,-1e10)'),"
                     "(4, 1, 1, 0, '1234567890123456789012.5678', '-Infinity', '-Infinity', 0, true, '0044-03-15 BC', "
                     " '24:00:00', '23:59:59.999999+14', 'infinity', '-infinity', 'P1Y', 'a \"quoted\", word', "
                     " E'line1\\nline2', 'x;y', '\\x22', NULL, '[1]', '{NULL,4}', '(1,1)'),"
                     "(5, 2, 2, 99999999.99, '1e-5', '3.4e38', '1e300', 1000000, false, 'infinity', '13:00', "
                     " '13:00+00', '0044-03-15 00:00:00 BC', '1900-01-01 00:00:00+00', '0', '\\.', "
                     " E'crlf\\r\\nend', '\"', E'\\\\x5c', NULL, '1', '{1}', NULL),"
                     "(6, 3, 3, 1, '-0', '-0', '5e-324', 0.01, NULL, '2024-12-31', '23:59:59', '23:59:59+00', "
                     " '2024-12-31 23:59:59.000001', '2024-06-30 12:00:00+02', '3 days', E'sep\\u2028x', "
                     " E'par\\u2029', E'\\t|', '\\xdeadbeef', NULL, NULL, NULL, NULL)")
                     .arg(name));
        } else {
            exec(QStringLiteral("CREATE TABLE \"%1\" (%2, n NUMERIC(10,2), r REAL, b BOOLEAN, dt DATE, ts DATETIME, "
                                "t TEXT, vc VARCHAR(20), by BLOB)")
                     .arg(name, id));
            exec(QStringLiteral("INSERT INTO \"%1\" VALUES (1, 4.5, 0.1, 1, '2020-01-01', '2020-02-29 01:02:03', "
                                "'plain', 'a \"quoted\", word', x'00ff10'), (2, NULL, NULL, NULL, NULL, NULL, NULL, "
                                "NULL, NULL), (3, -0.01, 1e300, 0, '2020-02-29', '1999-12-31 23:59:59', '', "
                                "'line1' || char(13, 10) || 'line2', x''), (4, 1, -2.5, 1, '2024-12-31', NULL, "
                                "'sep' || char(8232) || 'x', '\\.', NULL)")
                     .arg(name));
        }
        exec(QStringLiteral("UPDATE \"%1\" SET id = 7 WHERE id = 1").arg(name)); // on PostgreSQL it moves to the end

        auto table = openTable(name);
        CsvSite site(*table);
        for (const CsvQuoting quoting : {CsvQuoting::Minimal, CsvQuoting::All, CsvQuoting::Text}) {
            for (const char delimiter : {',', ';', '\t', '|'}) {
                SCOPED_TRACE(testing::Message() << name.toStdString() << " quoting " << int(quoting)
                                                << " delimiter " << int(delimiter));
                CsvExportOptions o;
                o.quoting = quoting;
                o.delimiter = delimiter;
                o.crlf = delimiter != '|';
                const QString file = dir.filePath(QStringLiteral("out.csv"));
                ASSERT_EQ(exportCsv(site, file, o), CommandResult::Done) << site.errors.join(QLatin1Char('\n')).toStdString();
                const QByteArray expected = engineCsv(*table, o, dir.filePath(QStringLiteral("engine.csv")));
                EXPECT_EQ(fileBytes(file), expected);
            }
        }
        // The updated record comes last by key, and last in a PostgreSQL table's storage order.
        const QList<QByteArray> lines = fileBytes(dir.filePath(QStringLiteral("out.csv"))).trimmed().split('\n');
        EXPECT_EQ(lines.last().startsWith("7|"), keyed || pg()) << lines.last().toStdString();
    }
}

TEST_P(CsvImportTest, StoppingTheExportMidStreamWritesNoFileAndTheTableReadsOn)
{
    const QString name = tableName(QStringLiteral("many"));
    exec(QStringLiteral("CREATE TABLE \"%1\" (id INTEGER, note TEXT)").arg(name));
    exec(pg() ? QStringLiteral("INSERT INTO \"%1\" SELECT g, 'a note of some length ' || g FROM generate_series(1, 300000) g")
                    .arg(name)
              : QStringLiteral("WITH RECURSIVE g(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM g WHERE n < 300000) "
                               "INSERT INTO \"%1\" SELECT n, 'a note of some length ' || n FROM g")
                    .arg(name));
    auto table = openTable(name);
    CsvSite site(*table);
    site.stopAfter = 1; // the first tick's report asks to stop
    const QString file = dir.filePath(QStringLiteral("stopped.csv"));
    EXPECT_EQ(exportCsv(site, file, {}), CommandResult::Declined);
    EXPECT_FALSE(QFile::exists(file));
    ASSERT_FALSE(site.messages.isEmpty());
    EXPECT_TRUE(site.messages.last().startsWith(QStringLiteral("Export stopped at your request")));

    site.stopAfter.reset();
    EXPECT_EQ(exportCsv(site, file, {}), CommandResult::Done) << site.errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(fileBytes(file).count('\n'), 300001);
    EXPECT_EQ(count(name), 300000);
}

INSTANTIATE_TEST_SUITE_P(Engines, CsvImportTest, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);

} // namespace
