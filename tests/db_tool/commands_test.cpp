// The commands on both engines: the files, defaults, questions and messages of the menu
// commands, and the exit codes their results give.
#include "db_tool_fixture.h"

#include <QDir>
#include <QFileInfo>

using namespace pelldrake::db::tool::test;

namespace {

class Commands : public DbToolTest {};

TEST_P(Commands, TablesAreListedAsThePaneListsThem)
{
    const ToolResult plain = tool({QStringLiteral("tables"), QStringLiteral("Shop")});
    EXPECT_EQ(plain.code, 0) << plain.err.toStdString();
    EXPECT_TRUE(plain.out.split(QLatin1Char('\n')).contains(people)) << plain.out.toStdString();
    EXPECT_TRUE(plain.err.isEmpty());

    const ToolResult qualified = tool({QStringLiteral("tables"), directSource(), QStringLiteral("--extensions")});
    EXPECT_EQ(qualified.code, 0) << qualified.err.toStdString();
    const QString schema = pg() ? QStringLiteral("public.") : QStringLiteral("main.");
    EXPECT_TRUE(qualified.out.split(QLatin1Char('\n')).contains(schema + people)) << qualified.out.toStdString();
}

TEST_P(Commands, DumpWritesTheMenusFileAndLoadReadsItBack)
{
    const QString out = dir.filePath(QStringLiteral("elsewhere.txt"));
    EXPECT_EQ(tool({QStringLiteral("dump"), QStringLiteral("Shop"), people, QStringLiteral("--out"), out}).code, 0);
    EXPECT_EQ(fileBytes(out), kPeopleDump);
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("Table_Dump")))); // only the default file's folder

    const ToolResult dump = tool({QStringLiteral("dump"), QStringLiteral("shop"), people});
    EXPECT_EQ(dump.code, 0) << dump.err.toStdString();
    EXPECT_TRUE(dump.out.isEmpty()); // the menu command says nothing either
    // The alias as the registry spells it, whatever was typed.
    EXPECT_EQ(fileBytes(dumpFile(QStringLiteral("Shop"))), kPeopleDump);

    exec(QStringLiteral("DELETE FROM %1").arg(people));
    const ToolResult load = tool({QStringLiteral("load"), QStringLiteral("Shop"), people});
    EXPECT_EQ(load.code, 0) << load.err.toStdString();
    EXPECT_EQ(load.out, QStringLiteral("2 records loaded.\n"));
    EXPECT_EQ(rows(people), (QStringList{QStringLiteral("Ann|2|"), QStringLiteral("Bob|5|")}));

    // Without an alias, the file's name or the URI's database stands for it.
    const QString part = pg() ? server.db : QStringLiteral("shop");
    EXPECT_EQ(tool({QStringLiteral("dump"), directSource(), people}).code, 0);
    EXPECT_EQ(fileBytes(dumpFile(part)), kPeopleDump);
}

TEST_P(Commands, QuestionsAreAnsweredNoUnlessYesWasGiven)
{
    ASSERT_EQ(tool({QStringLiteral("dump"), QStringLiteral("Shop"), people}).code, 0);
    exec(QStringLiteral("UPDATE %1 SET \"QTY\" = 9 WHERE \"NAME\" = 'Ann'").arg(people));

    const ToolResult declined = tool({QStringLiteral("dump"), QStringLiteral("Shop"), people});
    EXPECT_EQ(declined.code, 1);
    EXPECT_EQ(declined.err, QStringLiteral("pelldrake-db: answered No to \"Overwrite file?\" (--yes answers Yes)\n"));
    EXPECT_EQ(fileBytes(dumpFile(QStringLiteral("Shop"))), kPeopleDump);

    const ToolResult appendDeclined = tool({QStringLiteral("load"), QStringLiteral("Shop"), people});
    EXPECT_EQ(appendDeclined.code, 1);
    EXPECT_EQ(appendDeclined.err, QStringLiteral("pelldrake-db: answered No to \"Table contains data. Append all "
                                                 "records?\" (--yes answers Yes)\n"));
    EXPECT_EQ(rows(people), (QStringList{QStringLiteral("Ann|9|"), QStringLiteral("Bob|5|")}));

    const ToolResult overwritten = tool({QStringLiteral("dump"), QStringLiteral("Shop"), people, QStringLiteral("--yes")});
    EXPECT_EQ(overwritten.code, 0) << overwritten.err.toStdString();
    EXPECT_TRUE(fileBytes(dumpFile(QStringLiteral("Shop"))).contains("QTY=9\r\n"));
}

TEST_P(Commands, RefusedRecordStopsTheLoadNamingItsLineAndKeepsTheRecordsBefore)
{
    const QString file = dir.filePath(QStringLiteral("more.txt"));
    writeBytes(file, "<<RECORD\r\nNAME=Cy\r\nQTY=1\r\n"
                     "<<RECORD\r\nNAME=Ann\r\nQTY=3\r\n" // a key the table holds: line 4
                     "<<RECORD\r\nNAME=Dee\r\nQTY=4\r\n");
    const ToolResult r = tool({QStringLiteral("load"), QStringLiteral("Shop"), people, QStringLiteral("--in"), file,
                               QStringLiteral("--yes")});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
    // The engine's reason (a server adds its detail lines), where, and what of the file is stored.
    EXPECT_TRUE(r.err.startsWith(QLatin1String("pelldrake-db: Cannot insert the record: "))) << r.err.toStdString();
    EXPECT_TRUE(r.err.endsWith(QStringLiteral("\n(%1, line 4)\n1 record of the file is in the table.\n")
                                   .arg(QDir::toNativeSeparators(file))))
        << r.err.toStdString();
    EXPECT_EQ(rows(people), (QStringList{QStringLiteral("Ann|2|"), QStringLiteral("Bob|5|"), QStringLiteral("Cy|1|")}));
}

TEST_P(Commands, InputsThatAreNotThereExitTwo)
{
    const ToolResult noFile = tool({QStringLiteral("load"), QStringLiteral("Shop"), people});
    EXPECT_EQ(noFile.code, 2);
    EXPECT_EQ(noFile.err, QStringLiteral("pelldrake-db: No table dump file exist for selected table.\n%1\n")
                              .arg(QDir::toNativeSeparators(dumpFile(QStringLiteral("Shop")))));

    QDir(dir.path()).mkdir(QStringLiteral("adir"));
    const ToolResult notAFile = tool({QStringLiteral("load"), QStringLiteral("Shop"), people, QStringLiteral("--in"),
                                      QStringLiteral("adir")});
    EXPECT_EQ(notAFile.code, 2);
    EXPECT_EQ(notAFile.err, QStringLiteral("pelldrake-db: Cannot read the dump file adir: Is a directory\n"));

    const ToolResult noTable = tool({QStringLiteral("export"), QStringLiteral("Shop"), QStringLiteral("nosuch")});
    EXPECT_EQ(noTable.code, 2);
    EXPECT_EQ(noTable.err, QStringLiteral("pelldrake-db: no table 'nosuch' in Shop\n"));
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(QStringLiteral("nosuch.txt"))));
    EXPECT_EQ(rows(people).size(), 2);
}

TEST_P(Commands, ExportWritesTabDelimitedTextWithItsHeader)
{
    const QByteArray expected = "NAME\tQTY\tNOTE\r\nAnn\t2\t\r\nBob\t5\t\r\n";
    const ToolResult byDefault = tool({QStringLiteral("export"), QStringLiteral("Shop"), people});
    EXPECT_EQ(byDefault.code, 0) << byDefault.err.toStdString();
    EXPECT_EQ(byDefault.out, QStringLiteral("Tab delimited file has been created.\n"));
    EXPECT_EQ(fileBytes(dir.filePath(people + QStringLiteral(".txt"))), expected);

    const QString out = dir.filePath(QStringLiteral("out/people.tsv"));
    QDir(dir.path()).mkdir(QStringLiteral("out"));
    const ToolResult given = tool({QStringLiteral("export"), directSource(), people, QStringLiteral("--out=") + out});
    EXPECT_EQ(given.code, 0) << given.err.toStdString();
    EXPECT_EQ(fileBytes(out), expected);
}

TEST_P(Commands, EmptyTableHasNoDataToDump)
{
    exec(QStringLiteral("DELETE FROM %1").arg(people));
    const ToolResult r = tool({QStringLiteral("dump"), QStringLiteral("Shop"), people});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, QStringLiteral("pelldrake-db: NO data to export.\n"));
    EXPECT_FALSE(QFileInfo::exists(dumpFile(QStringLiteral("Shop"))));
}

INSTANTIATE_TEST_SUITE_P(Engines, Commands, ::testing::Values(Backend::Sqlite, Backend::Postgres), backendName);

} // namespace
