// Tab-delimited export through the main window's menus.
#include "maintenance_fixture.h"

#include "widgets/dbgrid.h"

#include "engine/table.h"

#include "small_disk.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using namespace pelldrake;
using namespace pelldrake::test;

namespace {

using ExportTest = MaintenanceTest;

const QString kCreated = QStringLiteral("Tab delimited file has been created.");

TEST_F(ExportTest, HeaderLineThenEditTextsSeparatedByTabs)
{
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("idname"));
    const bool columnOrderEnabled = pane.defaultColumnOrder->isEnabled();
    choose("ExportTABDelimitedfieldswithHeaderRecord1");
    EXPECT_EQ(readAll(QStringLiteral("idname.txt")), QByteArray("ID\tNAME\r\n1\tSmith\r\n2\t\r\n"));
    EXPECT_EQ(messages(), QStringList{kCreated});
    // Every command control comes back as it was.
    EXPECT_TRUE(window->action(QStringLiteral("Close1"))->isEnabled());
    EXPECT_TRUE(pane.tableList->isEnabled() && pane.aliasCombo->isEnabled() && pane.filterValueEdit->isEnabled()
                && pane.grid->isEnabled());
    EXPECT_EQ(pane.defaultColumnOrder->isEnabled(), columnOrderEnabled);
    EXPECT_EQ(pane.table->recNo(), 1);
}

TEST_F(ExportTest, FilteredPaneExportsItsRecordsInIndexOrderAndKeepsItsFilter)
{
    exec({QStringLiteral("CREATE INDEX ByCity ON ten (CITY)")});
    Pane &pane = openTable(2, QStringLiteral("Maint"), QStringLiteral("ten"));
    chooseFromList(pane.indexComboBox, QStringLiteral("ByCity"));
    chooseFieldName(pane, QStringLiteral("CITY"));
    typeFilter(pane, QStringLiteral("Lon"));
    choose("ExportTABDelimitedfieldswithHeaderRecord2");
    EXPECT_EQ(readAll(QStringLiteral("ten.txt")),
              QByteArray("ID\tCITY\r\n3\tLon Nol\r\n1\tLondon\r\n6\tLonsdale\r\n"));
    EXPECT_EQ(pane.filterValueEdit->text(), QStringLiteral("Lon"));
    EXPECT_TRUE(pane.table->filtered());
}

TEST_F(ExportTest, EmptyTableGivesTheHeaderAndASecondExportReplacesTheFile)
{
    openTable(1, QStringLiteral("Maint"), QStringLiteral("emptyt"));
    choose("ExportTABDelimitedfieldswithHeaderRecord1");
    EXPECT_EQ(readAll(QStringLiteral("emptyt.txt")), QByteArray("A\r\n"));
    exec({QStringLiteral("INSERT INTO emptyt VALUES ('a\tb')")});
    window->pane1().table->refresh();
    choose("ExportTABDelimitedfieldswithHeaderRecord1");
    // A value holding a tab is quoted, so that the record stays one record of one field.
    EXPECT_EQ(readAll(QStringLiteral("emptyt.txt")), QByteArray("A\r\n\"a\tb\"\r\n"));
    EXPECT_EQ(messages(), (QStringList{kCreated, kCreated}));
    EXPECT_TRUE(fake.callsOf(FakeDialogs::Kind::YesNo).isEmpty());
}

TEST_F(ExportTest, FileThatCannotBeCreatedIsReportedAndControlsStayUsable)
{
    ASSERT_TRUE(QDir().mkpath(QStringLiteral("idname.txt/inside")));
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("idname"));
    choose("ExportTABDelimitedfieldswithHeaderRecord1");
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].contains(QStringLiteral("idname.txt"))) << errors()[0].toStdString();
    EXPECT_FALSE(messages().contains(kCreated));
    EXPECT_TRUE(window->action(QStringLiteral("Close1"))->isEnabled());
    EXPECT_TRUE(pane.tableList->isEnabled() && pane.fieldNameCombo->isEnabled());
}

TEST_F(ExportTest, FullDiskKeepsTheEarlierFileAndSaysWhy)
{
    SmallDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.skipReason();
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("ten"));
    ScopedCurrentDir onDisk(disk.path());
    {
        QFile earlier(QStringLiteral("ten.txt"));
        ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
        earlier.write("ID\tCITY\r\n");
    }
    disk.fill();
    choose("ExportTABDelimitedfieldswithHeaderRecord1");
    EXPECT_EQ(readAll(QStringLiteral("ten.txt")), QByteArray("ID\tCITY\r\n"));
    EXPECT_FALSE(messages().contains(kCreated));
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].endsWith(QStringLiteral("No space left on device"))) << errors()[0].toStdString();
    EXPECT_TRUE(pane.tableList->isEnabled() && pane.grid->isEnabled());
}

} // namespace
