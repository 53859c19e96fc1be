// Browsing a PostgreSQL table through the main window, beside a SQLite table in
// the other pane: the server's names, sizes, index lists and pattern escaping
// take other paths through the engine than the embedded database's.
#include "browser_fixture.h"

#include "engine/alias_registry.h"
#include "engine/database.h"
#include "engine/session.h"
#include "engine/table.h"
#include "widgets/dbgrid.h"
#include "widgets/dbmemo.h"

#include <QCoreApplication>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

using namespace pelldrake;
using namespace pelldrake::test;

namespace {

class ServerBrowseTest : public BrowserTest {
protected:
    void SetUp() override
    {
        BrowserTest::SetUp();
        if (!addServerAlias(QStringLiteral("Server")))
            GTEST_SKIP() << "PELLDRAKE_TEST_PG_HOST not set";

        table = QStringLiteral("browse_%1").arg(QCoreApplication::applicationPid());
        run({QStringLiteral("DROP TABLE IF EXISTS %1").arg(table),
             QStringLiteral("CREATE TABLE %1 (id INTEGER PRIMARY KEY, name VARCHAR(30) NOT NULL, "
                            "city VARCHAR(20), notes TEXT)").arg(table),
             QStringLiteral("CREATE INDEX %1_bycity ON %1 (city, name)").arg(table),
             QStringLiteral("INSERT INTO %1 VALUES (1, 'Kara Ng', 'Lyon', 'first note'), "
                            "(2, 'O''Brien', 'Cork', 'second note'), (3, 'Karl Marx', 'Berlin', NULL), "
                            "(4, 'Bruno', 'Amsterdam', 'fourth'), (5, 'kathy', 'Lima', 'fifth')").arg(table)});
        created = true;
    }

    void TearDown() override
    {
        window.reset(); // its connections hold the table
        if (created)
            run({QStringLiteral("DROP TABLE IF EXISTS %1").arg(table)});
        BrowserTest::TearDown();
    }

    void run(const QStringList &statements) { runOnServer(statements); }

    QString table;
    bool created = false;
};

TEST_F(ServerBrowseTest, ServerTableBrowsesBesideAnEmbeddedOne)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    Pane &p2 = form.pane2();
    chooseAlias(p1, "Shop");
    clickTable(p1, "customers");
    chooseAlias(p2, "Server");
    clickTable(p2, table);
    ASSERT_TRUE(p2.table->active());
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
    EXPECT_TRUE(messages().isEmpty()) << messages().join('|').toStdString();

    // Both panes counted; the server's memo shows the memo group.
    EXPECT_EQ(p1.recordCountEdit->text(), "5");
    EXPECT_EQ(p2.recordCountEdit->text(), "5");
    EXPECT_EQ(p2.fieldCountEdit->text(), "4");
    EXPECT_TRUE(p2.memoGroup->isVisible());

    const QStringList listing = listItems(p2.infoListing);
    ASSERT_GE(listing.size(), 12);
    EXPECT_EQ(listing.mid(0, 2), QStringList({"Database", "Server"}));
    EXPECT_FALSE(listing[2].isEmpty()) << "the driver name";
    for (const QString &line : listing)
        EXPECT_FALSE(line.contains("PASSWORD", Qt::CaseInsensitive)) << line.toStdString();
    EXPECT_TRUE(listing.contains("Alias=Server"));
    EXPECT_TRUE(listing.contains("TableName=" + table));
    EXPECT_TRUE(listing.contains("  RecordCount=5"));
    EXPECT_TRUE(listing.contains("  Indexes"));
    EXPECT_TRUE(listing.contains("    " + table + "_bycity[city;name]"));
    const int nameLine = listing.indexOf("*FieldName=name");
    ASSERT_GE(nameLine, 0) << "a required field";
    EXPECT_EQ(listing.value(nameLine + 2), "  DataType=ftString");
    EXPECT_EQ(listing.value(nameLine + 12), "  Size=30");

    // Prefix filter: an apostrophe is text, the match is case-sensitive.
    chooseFieldName(p2, "name");
    typeFilter(p2, "O'B");
    EXPECT_EQ(gridColumn(p2, "name"), QStringList({"O'Brien"}));
    typeFilter(p2, "Ka");
    EXPECT_EQ(gridColumn(p2, "name"), QStringList({"Kara Ng", "Karl Marx"}));
    typeFilter(p2, "");
    EXPECT_EQ(gridColumn(p2, "name").size(), 5);
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();

    chooseFromList(p2.indexComboBox, table + "_bycity");
    EXPECT_EQ(gridColumn(p2, "city"), QStringList({"Amsterdam", "Berlin", "Cork", "Lima", "Lyon"}));

    const QModelIndex notes = p2.grid->recordIndex(0, 3);
    QTest::mouseClick(p2.grid->viewport(), Qt::LeftButton, {}, p2.grid->visualRect(notes).center());
    EXPECT_EQ(p2.memo->dataField(), "notes");
    EXPECT_EQ(p2.memo->toPlainText(), "fourth");

    // Pane 1 went on with its own table throughout.
    EXPECT_EQ(gridColumn(p1, "NAME").size(), 5);
    EXPECT_EQ(p1.table->tableName(), "customers");
}

} // namespace

// The server ends the pane's session (as a restart does): the next table
// click connects again and opens the table. A table that cannot open says
// why on a second line.
TEST_F(ServerBrowseTest, PaneConnectsAgainAfterTheServerDroppedItsConnection)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    chooseAlias(p1, "Server");
    clickTable(p1, table);
    ASSERT_TRUE(p1.table->active());
    QSqlQuery pid(p1.database->sqlDatabase());
    ASSERT_TRUE(pid.exec("SELECT pg_backend_pid()") && pid.next());
    run({QStringLiteral("SELECT pg_terminate_backend(%1)").arg(pid.value(0).toInt())});
    pid = QSqlQuery();

    clickTable(p1, table);
    EXPECT_TRUE(messages().isEmpty()) << messages().join('|').toStdString();
    EXPECT_TRUE(errors().isEmpty()) << errors().join('|').toStdString();
    ASSERT_TRUE(p1.table->active());
    EXPECT_EQ(gridColumn(p1, "name").size(), 5);

    p1.tableList->addItem("gone_" + table);
    clickTable(p1, "gone_" + table);
    ASSERT_EQ(messages().size(), 1);
    const QStringList lines = messages().first().split('\n');
    ASSERT_EQ(lines.size(), 2) << messages().first().toStdString();
    EXPECT_EQ(lines[0], "Error opening table. Is the Use Extension box checked?");
    EXPECT_TRUE(lines[1].contains("gone_" + table)) << lines[1].toStdString();
}
