// Grid layout files: the name rule, reading and writing, the order a layout
// gives, and the pane operations through the main window.
#include "browser_fixture.h"

#include "engine/table.h"
#include "widgets/dbgrid.h"
#include "browser/grid_layout_file.h"
#include "browser/text_lines_file.h"

#include "small_disk.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QPushButton>
#include <QTest>

using namespace pelldrake;
using namespace pelldrake::test;

namespace {

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

const QStringList kColumns = {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("C")};

} // namespace

TEST(GridLayoutFile, NameReplacesDotsAndSeparatorsOfTheTableNameOnly)
{
    EXPECT_EQ(gridLayoutFileName(QStringLiteral("/work"), QStringLiteral("orders.db")),
              QStringLiteral("/work/orders_db.grd"));
    // A start directory such as ~/.local/share keeps its dots: the layout
    // must land in the directory itself.
    EXPECT_EQ(gridLayoutFileName(QStringLiteral("/home/me/.local/My.Data"), QStringLiteral("public.orders")),
              QStringLiteral("/home/me/.local/My.Data/public_orders.grd"));
    EXPECT_EQ(gridLayoutFileName(QStringLiteral("/w"), QStringLiteral("../../etc/x")), QStringLiteral("/w/______etc_x.grd"));
    EXPECT_EQ(tableLayoutExportName(QStringLiteral("orders.db")), QStringLiteral("orders_db_TableLayout.txt"));
}

TEST(GridLayoutFile, OrderFollowsTheTargetPositionRule)
{
    EXPECT_EQ(layoutColumnOrder(kColumns, {"C", "A", "B"}), (QStringList{"C", "A", "B"}));
    // Fewer lines: the rest keep their relative order.
    EXPECT_EQ(layoutColumnOrder(kColumns, {"C"}), (QStringList{"C", "A", "B"}));
    // A field the table no longer has still uses up its position.
    EXPECT_EQ(layoutColumnOrder(kColumns, {"GONE", "C"}), (QStringList{"A", "C", "B"}));
    // Names match exactly, case included; empty lines use up a position too.
    EXPECT_EQ(layoutColumnOrder(kColumns, {"c", "", "A"}), (QStringList{"B", "C", "A"}));
    // Reading stops once every position is given out.
    EXPECT_EQ(layoutColumnOrder(kColumns, {"X", "Y", "Z", "C"}), kColumns);
    EXPECT_EQ(layoutColumnOrder(kColumns, {}), kColumns);
}

TEST(GridLayoutFile, ReadsLongLinesBothLineEndsAndALastLineWithoutBreak)
{
    TempDir dir;
    const QString path = dir.filePath(QStringLiteral("t.grd"));
    const QString longName = QString(300, QLatin1Char('n'));
    writeFile(path, "FIRST\r\n" + longName.toUtf8() + "\nLAST");
    const std::optional<QStringList> lines = readTextLines(path);
    ASSERT_TRUE(lines);
    EXPECT_EQ(*lines, (QStringList{"FIRST", longName, "LAST"}));
    EXPECT_FALSE(readTextLines(dir.filePath(QStringLiteral("missing.grd"))));

    ASSERT_TRUE(writeTextLines(path, {"Größe", longName}));
    EXPECT_EQ(readFile(path), QStringLiteral("Größe\r\n").toUtf8() + longName.toUtf8() + "\r\n");
    EXPECT_EQ(*readTextLines(path), (QStringList{"Größe", longName}));
    // A file that cannot be written leaves the old one whole.
    EXPECT_FALSE(writeTextLines(dir.filePath(QStringLiteral("no/such/dir/t.grd")), {"A"}));
}

TEST(GridLayoutFile, FullDiskKeepsTheEarlierFile)
{
    SmallDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.skipReason();
    const QString path = disk.filePath(QStringLiteral("customers.grd"));
    writeFile(path, "NAME\r\nID\r\n");
    disk.fill();
    EXPECT_FALSE(writeTextLines(path, {"ID", "NAME", "CITY"}));
    EXPECT_EQ(readFile(path), QByteArray("NAME\r\nID\r\n"));
}

class GridLayoutTest : public BrowserTest {
protected:
    Pane &openCustomers()
    {
        TPelldrakeCDSForm &w = openWindow();
        chooseAlias(w.pane1(), QStringLiteral("Shop"));
        clickTable(w.pane1(), QStringLiteral("customers"));
        EXPECT_TRUE(w.pane1().table->active());
        return w.pane1();
    }
    // A drag of a column header ends in the header moving its section.
    void dragColumn(Pane &pane, const QString &field, int to)
    {
        QHeaderView *header = pane.grid->horizontalHeader();
        const int from = int(pane.grid->columnFieldNames().indexOf(field));
        ASSERT_GE(from, 0);
        header->moveSection(from, to);
    }
    // Focus enters the table list from the grid, as a click on the list does.
    void enterList(Pane &pane)
    {
        window->activateWindow();
        QApplication::setActiveWindow(window.get());
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        pane.grid->setFocus();
        QApplication::processEvents();
        pane.tableList->setFocus(Qt::MouseFocusReason);
        QApplication::processEvents();
    }
};

TEST_F(GridLayoutTest, LayoutFileIsAppliedWhenTheTableOpens)
{
    writeFile(path(QStringLiteral("customers.grd")), "NOTES\r\nGONE\r\nID\r\n");
    Pane &pane = openCustomers();
    EXPECT_EQ(pane.grid->columnFieldNames(), (QStringList{"NOTES", "NAME", "ID", "CITY"}));
}

TEST_F(GridLayoutTest, EnteringTheListSavesTheDraggedOrderBeforeTheNextTableOpens)
{
    Pane &pane = openCustomers();
    dragColumn(pane, QStringLiteral("CITY"), 0);
    enterList(pane);
    EXPECT_EQ(readFile(path(QStringLiteral("customers.grd"))), QByteArray("CITY\r\nID\r\nNAME\r\nNOTES\r\n"));

    // Clicking inside the list while it has the focus saves nothing more.
    dragColumn(pane, QStringLiteral("NOTES"), 0);
    clickTable(pane, QStringLiteral("plain"));
    EXPECT_EQ(readFile(path(QStringLiteral("customers.grd"))), QByteArray("CITY\r\nID\r\nNAME\r\nNOTES\r\n"));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("plain.grd"))));

    // Back on customers the saved order returns.
    clickTable(pane, QStringLiteral("customers"));
    EXPECT_EQ(pane.grid->columnFieldNames(), (QStringList{"CITY", "ID", "NAME", "NOTES"}));
}

TEST_F(GridLayoutTest, LayoutsFollowTheCurrentDirectory)
{
    Pane &pane = openCustomers();
    const QString elsewhere = path(QStringLiteral("other.dir"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ScopedCurrentDir moved(elsewhere);
    dragColumn(pane, QStringLiteral("NAME"), 0);
    enterList(pane);
    EXPECT_TRUE(QFile::exists(QDir(elsewhere).filePath(QStringLiteral("customers.grd"))));
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("customers.grd"))));
}

TEST_F(GridLayoutTest, DefaultColumnOrderDeletesTheLayoutAndReopens)
{
    writeFile(path(QStringLiteral("customers.grd")), "CITY\r\n");
    Pane &pane = openCustomers();
    ASSERT_EQ(pane.grid->columnFieldNames().first(), QStringLiteral("CITY"));
    ASSERT_TRUE(pane.defaultColumnOrder->isEnabled());
    QTest::mouseClick(pane.defaultColumnOrder, Qt::LeftButton);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("customers.grd"))));
    EXPECT_TRUE(pane.table->active());
    EXPECT_EQ(pane.grid->columnFieldNames(), (QStringList{"ID", "NAME", "CITY", "NOTES"}));

    // With nothing selected it does nothing at all.
    pane.tableList->setCurrentItem(nullptr);
    writeFile(path(QStringLiteral("customers.grd")), "CITY\r\n");
    window->BitBtn1Click();
    EXPECT_TRUE(QFile::exists(path(QStringLiteral("customers.grd"))));
    EXPECT_TRUE(errors().isEmpty()) << errors().join('\n').toStdString();
}

TEST_F(GridLayoutTest, PaneTwoKeepsItsOwnLayoutThroughTheSharedFile)
{
    TPelldrakeCDSForm &w = openWindow();
    writeFile(path(QStringLiteral("parts.grd")), "DESCR\r\n");
    chooseAlias(w.pane2(), QStringLiteral("Other"));
    clickTable(w.pane2(), QStringLiteral("parts"));
    EXPECT_EQ(w.pane2().grid->columnFieldNames(), (QStringList{"DESCR", "PARTNO"}));
    w.BitBtn2Click();
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("parts.grd"))));
    EXPECT_EQ(w.pane2().grid->columnFieldNames(), (QStringList{"PARTNO", "DESCR"}));
}

TEST_F(GridLayoutTest, SaveWritesTheListingToTheChosenFile)
{
    Pane &pane = openCustomers();
    QAction *save = window->action(QStringLiteral("Save1"));
    ASSERT_TRUE(save && save->isEnabled());

    save->trigger(); // cancelled: nothing written
    ASSERT_EQ(fake.callsOf(FakeDialogs::Kind::Save).size(), 1);
    EXPECT_EQ(fake.callsOf(FakeDialogs::Kind::Save).first().text, QStringLiteral("customers_TableLayout.txt"));

    const QString target = path(QStringLiteral("layout.txt"));
    writeFile(target, "an older and much longer file that must not leave a tail behind\r\n");
    fake.answerSave(target);
    save->trigger();
    QByteArray expected;
    for (const QString &line : listItems(pane.infoListing))
        expected += line.toUtf8() + "\r\n";
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(readFile(target), expected);

    // A file that cannot be written is reported, not passed over.
    fake.answerSave(path(QStringLiteral("no/such/dir/layout.txt")));
    save->trigger();
    EXPECT_EQ(errors().size(), 1);
}

TEST_F(GridLayoutTest, SaveOnAFullDiskKeepsTheFileAndSaysWhy)
{
    SmallDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.skipReason();
    openCustomers();
    const QString target = disk.filePath(QStringLiteral("layout.txt"));
    writeFile(target, "earlier layout\r\n");
    disk.fill();
    fake.answerSave(target);
    window->action(QStringLiteral("Save1"))->trigger();
    EXPECT_EQ(readFile(target), QByteArray("earlier layout\r\n"));
    ASSERT_EQ(errors().size(), 1);
    EXPECT_TRUE(errors()[0].endsWith(QStringLiteral("No space left on device"))) << errors()[0].toStdString();
}
