// pelldrake-db import and export --format csv: the lines a script reads and the exit codes.
#include "db_tool_fixture.h"

#include <QFileInfo>

namespace pelldrake::db::tool::test {
namespace {

using Csv = DbToolTest;

TEST_P(Csv, ExportThenImportIntoANewTableGivesTheSameRows)
{
    exec(QStringLiteral("UPDATE %1 SET \"NOTE\" = 'two\nlines, \"quoted\"' WHERE \"NAME\" = 'Ann'").arg(people));
    const QString file = dir.filePath(QStringLiteral("people.csv"));
    const ToolResult out = tool({QStringLiteral("export"), QStringLiteral("Shop"), people, QStringLiteral("--out"), file,
                                 QStringLiteral("--format"), QStringLiteral("csv"), QStringLiteral("--quote"),
                                 QStringLiteral("text")});
    ASSERT_EQ(out.code, 0) << out.err.toStdString();
    EXPECT_EQ(fileBytes(file), "\"NAME\",\"QTY\",\"NOTE\"\r\n\"Ann\",2,\"two\nlines, \"\"quoted\"\"\"\r\n\"Bob\",5,\r\n");

    const QString copy = people + QStringLiteral("_copy");
    created << copy;
    const ToolResult in = tool({QStringLiteral("import"), QStringLiteral("Shop"), copy, QStringLiteral("--in"), file,
                                QStringLiteral("--create")});
    EXPECT_EQ(in.code, 0) << in.err.toStdString();
    EXPECT_EQ(in.out, QStringLiteral("2 records read, 2 loaded, 0 rejected\n"));
    EXPECT_EQ(rows(copy), rows(people));
    // A second --create finds the table there: nothing is written.
    const ToolResult again = tool({QStringLiteral("import"), QStringLiteral("Shop"), copy, QStringLiteral("--in"), file,
                                   QStringLiteral("--create")});
    EXPECT_EQ(again.code, 2);
    EXPECT_EQ(rows(copy).size(), 2);
}

TEST_P(Csv, RejectedRecordsAreListedByLineAndTheExitCodeSaysSo)
{
    const QString file = dir.filePath(QStringLiteral("in.csv"));
    writeBytes(file, "name;qty;note\r\nCid;1;\"a\r\nb\"\r\nDee;x;\r\nEve;3\r\nAnn;4;dup\r\nFay;5;ok\r\n");
    const ToolResult r = tool({QStringLiteral("import"), QStringLiteral("Shop"), people, QStringLiteral("--in"), file,
                               QStringLiteral("--rejects"), dir.filePath(QStringLiteral("rejects.csv"))});
    EXPECT_EQ(r.code, 1);
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << r.out.toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("line 4, column QTY, value \"x\": not a valid integer value"));
    EXPECT_EQ(lines[1], QStringLiteral("line 5, column NOTE: 2 fields where the header has 3"));
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("line 6: Cannot insert the record"))) << lines[2].toStdString();
    EXPECT_EQ(lines[3], QStringLiteral("5 records read, 2 loaded, 3 rejected"));
    EXPECT_EQ(rows(people).size(), 4);
    EXPECT_EQ(fileBytes(dir.filePath(QStringLiteral("rejects.csv"))), "name;qty;note\r\nDee;x;\r\nEve;3\r\nAnn;4;dup\r\n");
}

TEST_P(Csv, UsageAndInputErrorsExitTwoAndWriteNothing)
{
    const QString file = dir.filePath(QStringLiteral("in.csv"));
    writeBytes(file, "NAME,QTY\nZed,1\n");
    writeBytes(dir.filePath(QStringLiteral("empty.csv")), "");
    writeBytes(dir.filePath(QStringLiteral("other.csv")), "city\nParis\n");
    const QList<QStringList> cases = {
        {QStringLiteral("import"), QStringLiteral("Shop"), people},
        {QStringLiteral("import"), QStringLiteral("Shop"), people, QStringLiteral("--in"), file, QStringLiteral("--encoding"),
         QStringLiteral("EBCDIC")},
        {QStringLiteral("import"), QStringLiteral("Shop"), people, QStringLiteral("--in"), file, QStringLiteral("--delimiter"),
         QStringLiteral(";;")},
        {QStringLiteral("import"), QStringLiteral("Shop"), people, QStringLiteral("--in"), dir.filePath(QStringLiteral("empty.csv"))},
        {QStringLiteral("import"), QStringLiteral("Shop"), people, QStringLiteral("--in"), dir.filePath(QStringLiteral("none.csv"))},
        {QStringLiteral("import"), QStringLiteral("Shop"), people, QStringLiteral("--in"), dir.filePath(QStringLiteral("other.csv"))},
        {QStringLiteral("export"), QStringLiteral("Shop"), people, QStringLiteral("--format"), QStringLiteral("xml")},
        {QStringLiteral("export"), QStringLiteral("Shop"), people, QStringLiteral("--format"), QStringLiteral("tab"),
         QStringLiteral("--bom")},
    };
    for (const QStringList &args : cases) {
        const ToolResult r = tool(args);
        EXPECT_EQ(r.code, 2) << args.join(QLatin1Char(' ')).toStdString() << "\n" << r.err.toStdString();
        EXPECT_TRUE(r.err.startsWith(QStringLiteral("pelldrake-db: "))) << r.err.toStdString();
    }
    EXPECT_EQ(rows(people).size(), 2);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(people + QStringLiteral(".txt"))));
}

INSTANTIATE_TEST_SUITE_P(Engines, Csv, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);

} // namespace
} // namespace pelldrake::db::tool::test
