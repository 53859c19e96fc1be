// Table dump and table load through the main window's menus.
#include "maintenance_fixture.h"

#include "engine/table.h"
#include "browser/pane_operations.h"

#include "small_disk.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>

using namespace pelldrake;
using namespace pelldrake::test;

namespace {

class DumpLoadTest : public MaintenanceTest {
protected:
    bool paneUnlocked(const Pane &pane)
    {
        return pane.aliasCombo->isEnabled() && pane.tableList->isEnabled() && pane.filterValueEdit->isEnabled()
            && !pane.table->controlsDisabled();
    }
};

const QByteArray kPeopleDump = "<<RECORD\r\nNAME=Ann\r\nQTY=2\r\nNOTE=\r\n"
                               "<<RECORD\r\nNAME=Bob\r\nQTY=5\r\nNOTE=\r\n";

TEST_F(DumpLoadTest, DumpWritesOneBlockPerRecordByteForByte)
{
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("people"));
    choose("TableDump1");
    EXPECT_EQ(readAll(dumpPath(QStringLiteral("Maint_people.txt"))), kPeopleDump);
    EXPECT_TRUE(messages().isEmpty()) << messages().join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(paneUnlocked(pane));
    EXPECT_EQ(pane.table->recNo(), 2); // the table stands at its last record
}

TEST_F(DumpLoadTest, SecondDumpAsksBeforeOverwriting)
{
    Pane &pane = openTable(2, QStringLiteral("Maint"), QStringLiteral("people"));
    choose("TableDump2");
    exec({QStringLiteral("UPDATE people SET QTY = 9 WHERE NAME = 'Ann'")});
    pane.table->refresh();

    fake.answerYesNo(false);
    choose("TableDump2");
    ASSERT_EQ(fake.callsOf(FakeDialogs::Kind::YesNo).size(), 1);
    EXPECT_EQ(fake.callsOf(FakeDialogs::Kind::YesNo)[0].text, QStringLiteral("Overwrite file?"));
    EXPECT_EQ(fake.callsOf(FakeDialogs::Kind::YesNo)[0].caption, QStringLiteral("Overwrite"));
    EXPECT_EQ(readAll(dumpPath(QStringLiteral("Maint_people.txt"))), kPeopleDump);
    EXPECT_TRUE(paneUnlocked(pane));

    fake.answerYesNo(true);
    choose("TableDump2");
    EXPECT_TRUE(readAll(dumpPath(QStringLiteral("Maint_people.txt"))).contains("QTY=9\r\n"));
}

TEST_F(DumpLoadTest, FilteredPaneIsDumpedWholeAndLeftUnfiltered)
{
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("ten"));
    chooseFieldName(pane, QStringLiteral("CITY"));
    typeFilter(pane, QStringLiteral("Lon"));
    ASSERT_TRUE(pane.table->filtered());
    choose("TableDump1");
    EXPECT_EQ(readAll(dumpPath(QStringLiteral("Maint_ten.txt"))).count("<<RECORD\r\n"), 10);
    EXPECT_TRUE(pane.filterValueEdit->text().isEmpty());
    EXPECT_FALSE(pane.table->filtered());
}

TEST_F(DumpLoadTest, EmptyTableHasNoDataToExport)
{
    openTable(1, QStringLiteral("Maint"), QStringLiteral("emptyt"));
    choose("TableDump1");
    EXPECT_EQ(messages(), QStringList{QStringLiteral("NO data to export.")});
    EXPECT_TRUE(QDir(QStringLiteral("Table_Dump")).exists());
    EXPECT_FALSE(QFile::exists(dumpPath(QStringLiteral("Maint_emptyt.txt"))));
}

TEST_F(DumpLoadTest, DumpFileThatCannotBeCreatedIsReported)
{
    // A file where the folder should be: neither the folder nor the dump can be made.
    QFile blocker(QStringLiteral("Table_Dump"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("people"));
    choose("TableDump1");
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].startsWith(QStringLiteral("Cannot create the dump file"))) << errors()[0].toStdString();
    EXPECT_TRUE(paneUnlocked(pane));
}

TEST_F(DumpLoadTest, DumpOnAFullDiskKeepsTheEarlierDumpAndSaysWhy)
{
    SmallDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.skipReason();
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("people"));
    ScopedCurrentDir onDisk(disk.path());
    writeDump(QStringLiteral("Maint_people.txt"), kPeopleDump);
    disk.fill();
    fake.answerYesNo(true);
    choose("TableDump1");
    EXPECT_EQ(readAll(dumpPath(QStringLiteral("Maint_people.txt"))), kPeopleDump);
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].startsWith(QStringLiteral("Cannot write the dump file"))) << errors()[0].toStdString();
    EXPECT_TRUE(errors()[0].endsWith(QStringLiteral("No space left on device"))) << errors()[0].toStdString();
    EXPECT_TRUE(paneUnlocked(pane));
}

TEST_F(DumpLoadTest, LoadAsksForAliasAndTableFirst)
{
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("people"));
    setChooserText(pane.aliasCombo, QString());
    choose("TableLoad1");
    setChooserText(pane.aliasCombo, QStringLiteral("Maint"));
    pane.tableList->clearSelection();
    choose("LoadData1"); // the table list's pop-up entry runs the same command
    EXPECT_EQ(messages(), (QStringList{QStringLiteral("Please select Alias."), QStringLiteral("Please select Table.")}));
}

TEST_F(DumpLoadTest, LoadWithoutDumpFileNamesThePath)
{
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("people"));
    chooseFieldName(pane, QStringLiteral("NAME"));
    typeFilter(pane, QStringLiteral("A"));
    choose("TableLoad1");
    EXPECT_EQ(messages(), QStringList{QStringLiteral("No table dump file exist for selected table.\n")
                                      + QDir::toNativeSeparators(dumpPath(QStringLiteral("Maint_people.txt")))});
    EXPECT_TRUE(pane.filterValueEdit->text().isEmpty()); // the filter was cleared first
    EXPECT_TRUE(paneUnlocked(pane));
}

TEST_F(DumpLoadTest, LoadIntoATableWithDataAsksAndNoChangesNothing)
{
    openTable(1, QStringLiteral("Maint"), QStringLiteral("people"));
    choose("TableDump1");
    fake.answerYesNo(false);
    choose("TableLoad1");
    const auto questions = fake.callsOf(FakeDialogs::Kind::YesNo);
    ASSERT_EQ(questions.size(), 1);
    EXPECT_EQ(questions[0].text, QStringLiteral("Table contains data. Append all records?"));
    EXPECT_EQ(questions[0].caption, QStringLiteral("Contains Data"));
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM people")), QStringList{QStringLiteral("2")});

    fake.answerYesNo(true);
    choose("TableLoad1");
    EXPECT_EQ(rows(QStringLiteral("SELECT NAME, QTY, NOTE FROM people ORDER BY rowid")),
              (QStringList{QStringLiteral("Ann|2|NULL"), QStringLiteral("Bob|5|NULL"), QStringLiteral("Ann|2|NULL"),
                           QStringLiteral("Bob|5|NULL")}));
    EXPECT_EQ(window->pane1().recordCountEdit->text(), QStringLiteral("4"));
}

TEST_F(DumpLoadTest, LoadMatchesNamesIgnoringCaseAndCountsWhatIsNoField)
{
    exec({QStringLiteral("DELETE FROM people")});
    writeDump(QStringLiteral("Maint_people.txt"),
              "<<RECORD\r\nname=Cy\r\nqty=7\r\nBOGUS=1\r\nno equals\r\n\r\nNote=a=b\r\n"
              "<<RECORD \r\nNAME=Cyril\r\n" // not a marker: the name goes to the record above
              "<<RECORD\r\n<<RECORD\r\n"   // a block that sets nothing adds no record
              "<<RECORD\nNAME=Di\n");         // bare line feeds
    openTable(1, QStringLiteral("Maint"), QStringLiteral("people"));
    choose("TableLoad1");
    EXPECT_TRUE(errors().isEmpty()) << errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(messages(), QStringList{QStringLiteral("2 records loaded.\n3 lines name no field of the table and were "
                                                     "skipped (the first is line 4).")});
    EXPECT_EQ(rows(QStringLiteral("SELECT NAME, QTY, NOTE FROM people ORDER BY rowid")),
              (QStringList{QStringLiteral("Cyril|7|a=b"), QStringLiteral("Di|NULL|NULL")}));
    EXPECT_EQ(window->pane1().recordCountEdit->text(), QStringLiteral("2"));
}

// A file cut short (a full disk, a copy stopped half-way) ends without a line end: its last
// value may be cut too, so that record is reported, never stored.
TEST_F(DumpLoadTest, LoadOfACutFileStoresTheWholeRecordsAndReportsTheCutOne)
{
    exec({QStringLiteral("DELETE FROM people")});
    writeDump(QStringLiteral("Maint_people.txt"), "<<RECORD\r\nNAME=Ann\r\nQTY=2\r\n<<RECORD\r\nNAME=Bob\r\nQTY=5");
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("people"));
    choose("TableLoad1");
    EXPECT_TRUE(errors().isEmpty()) << errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(messages(), QStringList{QStringLiteral("1 record loaded.\nThe last record (line 4) has no line end, so "
                                                     "the file may be cut there: it was not loaded.")});
    EXPECT_EQ(rows(QStringLiteral("SELECT NAME, QTY FROM people")), QStringList{QStringLiteral("Ann|2")});
    EXPECT_EQ(pane.recordCountEdit->text(), QStringLiteral("1"));

    // Cut just before its line feed: the value may be whole, but nothing tells.
    fake.clear();
    exec({QStringLiteral("DELETE FROM people")});
    writeDump(QStringLiteral("Maint_people.txt"), "<<RECORD\r\nNAME=Ann\r");
    pane.table->refresh();
    choose("TableLoad1");
    EXPECT_EQ(messages(), QStringList{QStringLiteral("0 records loaded.\nThe last record (line 1) has no line end, so "
                                                     "the file may be cut there: it was not loaded.")});
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM people")), QStringList{QStringLiteral("0")});
}

// Files that are no dump of the table load nothing, and the user hears so.
TEST_F(DumpLoadTest, LoadOfAFileThatIsNoDumpOfTheTableSaysWhatWasSkipped)
{
    exec({QStringLiteral("DELETE FROM people")});
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("people"));
    auto load = [&](const QByteArray &bytes) {
        fake.clear();
        writeDump(QStringLiteral("Maint_people.txt"), bytes);
        choose("TableLoad1");
        EXPECT_TRUE(errors().isEmpty()) << errors().join(QLatin1Char('\n')).toStdString();
        EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM people")), QStringList{QStringLiteral("0")});
        EXPECT_EQ(pane.recordCountEdit->text(), QStringLiteral("0"));
        return messages().value(0);
    };
    EXPECT_EQ(load("<<RECORD\r\nFIRST=Ann\r\nAGE=2\r\n<<RECORD\r\nFIRST=Bob\r\nAGE=5\r\n"),
              QStringLiteral("0 records loaded.\n4 lines name no field of the table and were skipped (the first is line 2)."));
    // Old Macintosh line ends: the whole file is one line.
    QByteArray crOnly = kPeopleDump;
    crOnly.replace("\r\n", "\r");
    EXPECT_EQ(load(crOnly), QStringLiteral("0 records loaded.\n1 line names no field of the table and was skipped (the "
                                           "first is line 1).\nThe file's lines seem to end in CR alone; a line must "
                                           "end in LF or CR LF."));
    // Random bytes (a fixed sequence): no line of them names a field.
    QByteArray noise(4096, Qt::Uninitialized);
    quint32 state = 12345;
    for (char &c : noise) {
        state = state * 1103515245u + 12345u;
        c = char(state >> 24);
    }
    const QString said = load(noise);
    EXPECT_TRUE(said.startsWith(QStringLiteral("0 records loaded.\n"))) << said.toStdString();
    EXPECT_TRUE(said.contains(QStringLiteral("name no field of the table"))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("CR alone"))) << said.toStdString();
}

TEST_F(DumpLoadTest, LoadReadsADumpThatBeginsWithAByteOrderMark)
{
    exec({QStringLiteral("DELETE FROM people")});
    writeDump(QStringLiteral("Maint_people.txt"), "\xEF\xBB\xBF" + kPeopleDump);
    openTable(1, QStringLiteral("Maint"), QStringLiteral("people"));
    choose("TableLoad1");
    EXPECT_TRUE(errors().isEmpty()) << errors().join(QLatin1Char('\n')).toStdString();
    EXPECT_EQ(messages(), QStringList{QStringLiteral("2 records loaded.")});
    EXPECT_EQ(rows(QStringLiteral("SELECT NAME, QTY FROM people ORDER BY rowid")),
              (QStringList{QStringLiteral("Ann|2"), QStringLiteral("Bob|5")}));
}

TEST_F(DumpLoadTest, UnreadableDumpFileIsReportedWithTheSystemsReasonNotAsMissing)
{
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("people"));
    const QString path = QDir::toNativeSeparators(dumpPath(QStringLiteral("Maint_people.txt")));
    // A folder where the file should be.
    ASSERT_TRUE(QDir().mkpath(path));
    choose("TableLoad1");
    EXPECT_TRUE(messages().isEmpty()) << messages().join(QLatin1Char('\n')).toStdString();
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].startsWith(QStringLiteral("Cannot read the dump file ") + path + QStringLiteral(": ")))
        << errors()[0].toStdString();
    EXPECT_GT(errors()[0].size(), (QStringLiteral("Cannot read the dump file ") + path + QStringLiteral(": ")).size());
    EXPECT_TRUE(paneUnlocked(pane));
}

TEST_F(DumpLoadTest, DumpFileWithoutReadPermissionIsReportedAsSuch)
{
    openTable(1, QStringLiteral("Maint"), QStringLiteral("people"));
    const QString path = QDir::toNativeSeparators(dumpPath(QStringLiteral("Maint_people.txt")));
    writeDump(QStringLiteral("Maint_people.txt"), kPeopleDump);
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::WriteOwner));
    QFile probe(path);
    if (probe.open(QIODevice::ReadOnly))
        GTEST_SKIP() << "the file stays readable for this user (root)";
    choose("TableLoad1");
    EXPECT_EQ(errors(), QStringList{QStringLiteral("Cannot read the dump file %1: Permission denied").arg(path)});
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM people")), QStringList{QStringLiteral("2")});
}

TEST_F(DumpLoadTest, LoadStoppedByADuplicateKeyKeepsWhatWasPostedBefore)
{
    writeDump(QStringLiteral("Maint_keyed.txt"),
              "<<RECORD\r\nID=10\r\nNAME=ten\r\n<<RECORD\r\nID=11\r\nNAME=eleven\r\n"
              "<<RECORD\r\nID=2\r\nNAME=again\r\n<<RECORD\r\nID=12\r\nNAME=twelve\r\n");
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("keyed"));
    fake.answerYesNo(true);
    choose("TableLoad1");
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].contains(QStringLiteral("line 7"))) << errors()[0].toStdString();
    EXPECT_EQ(rows(QStringLiteral("SELECT ID FROM keyed ORDER BY ID")),
              (QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("10"),
                           QStringLiteral("11")}));
    EXPECT_EQ(pane.table->state(), engine::TableState::Browse);
    EXPECT_EQ(pane.recordCountEdit->text(), QStringLiteral("5"));
    EXPECT_TRUE(paneUnlocked(pane));
}

TEST_F(DumpLoadTest, LoadRefusesAValueItsFieldCannotTakeAndAFieldBeforeAnyRecord)
{
    writeDump(QStringLiteral("Maint_people.txt"), "<<RECORD\r\nNAME=Ed\r\n<<RECORD\r\nQTY=many\r\n");
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("people"));
    fake.answerYesNo(true);
    choose("TableLoad1");
    ASSERT_EQ(errors().size(), 1);
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM people WHERE NAME = 'Ed'")), QStringList{QStringLiteral("1")});

    writeDump(QStringLiteral("Maint_people.txt"), "NAME=Early\r\n<<RECORD\r\nNAME=Fay\r\n");
    fake.answerYesNo(true);
    choose("TableLoad1");
    EXPECT_EQ(errors().size(), 2);
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM people WHERE NAME IN ('Early', 'Fay')")),
              QStringList{QStringLiteral("0")});
    EXPECT_TRUE(paneUnlocked(pane));
}

} // namespace
