#include "browser_fixture.h"

#include "engine/database.h"
#include "engine/table.h"

#include <QListWidget>

using namespace pelldrake;
using namespace pelldrake::test;

namespace {

// The connection block: its parameter lines are the engine's own.
QStringList connectionLines(const engine::Database &db, const QString &alias)
{
    QStringList lines{"Database", alias, "SQLITE"};
    lines << db.params();
    lines << "ReadOnly=false";
    return lines;
}

QStringList fieldLines(bool required, const QString &name, int no, const QString &type, int dataSize,
                       bool indexField, int size)
{
    const auto b = [](bool v) { return v ? QStringLiteral("true") : QStringLiteral("false"); };
    return {"",
            (required ? "*FieldName=" : "FieldName=") + name,
            "  FieldNo=" + QString::number(no),
            "  DataType=" + type,
            "  CanModify Field=true",
            "  DataSize=" + QString::number(dataSize),
            "  FieldKind=fkData",
            "  HasConstraints=false",
            "  ImportedConstraint=",
            "  IsIndexField=" + b(indexField),
            "  ReadOnly=false",
            "  Required=" + b(required),
            "  Calculated=false",
            "  Size=" + QString::number(size)};
}

void expectSameLines(const QStringList &actual, const QStringList &expected)
{
    for (int i = 0; i < std::max(actual.size(), expected.size()); ++i) {
        const QString a = i < actual.size() ? actual[i] : QStringLiteral("<missing>");
        const QString e = i < expected.size() ? expected[i] : QStringLiteral("<none>");
        EXPECT_EQ(a, e) << "line " << i + 1;
    }
}

} // namespace

TEST_F(BrowserTest, InformationListingDescribesConnectionTableIndexesAndFields)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p2 = form.pane2();
    chooseAlias(p2, "Shop");
    clickTable(p2, "customers");
    ASSERT_TRUE(p2.table->active());

    QStringList expected = connectionLines(*p2.database, "Shop");
    expected << "" << "Alias=Shop" << "TableName=customers" << "  RecordCount=5" << "  CanModify Table=true" << "";
    expected << "  Indexes" << "    ByCity[CITY;NAME]" << "    ByName[NAME]";
    expected << fieldLines(false, "ID", 1, "ftInteger", 4, false, 0);
    expected << fieldLines(true, "NAME", 2, "ftString", 31, false, 30);
    expected << fieldLines(false, "CITY", 3, "ftString", 21, false, 20);
    expected << fieldLines(false, "NOTES", 4, "ftMemo", 0, false, 0);
    expectSameLines(listItems(p2.infoListing), expected);

    // "IsIndexField" follows the index in use when the listing is built; a new
    // opening starts without one.
    chooseFromList(p2.indexComboBox, "ByCity");
    EXPECT_EQ(listItems(p2.infoListing), expected) << "the listing changes only at opening";
}

TEST_F(BrowserTest, InformationListingOfATableWithoutIndexes)
{
    TPelldrakeCDSForm &form = openWindow();
    Pane &p1 = form.pane1();
    chooseAlias(p1, "Shop");
    clickTable(p1, "plain");

    QStringList expected = connectionLines(*p1.database, "Shop");
    expected << "" << "Alias=Shop" << "TableName=plain" << "  RecordCount=1" << "  CanModify Table=true" << "";
    expected << "  NO Indexes";
    expected << fieldLines(false, "A", 1, "ftInteger", 4, false, 0);
    expected << fieldLines(false, "B", 2, "ftString", 11, false, 10);
    expected << fieldLines(false, "PIC", 3, "ftBlob", 0, false, 0);
    expectSameLines(listItems(p1.infoListing), expected);
}
