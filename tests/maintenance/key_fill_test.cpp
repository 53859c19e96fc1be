// Unique date-time key fill through the main window's menus.
#include "maintenance_fixture.h"

#include "widgets/dbgrid.h"

#include "maintenance/unique_keys.h"

#include "engine/table.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>

using namespace pelldrake;
using namespace pelldrake::test;
using pelldrake::maintenance::KeyClock;

namespace {

const QString kDone = QStringLiteral("Unique string key values have been loaded.");
const QString kTooShort =
    QStringLiteral("The field is not long enought to hold UNIQUE DataTime value as string (20 char).");
const QString kNoColumn = QStringLiteral("Please select (String) field that is at least 20 char for fill value.");

// A clock that never moves on: the keys must still differ.
class StoppedClock : public KeyClock {
public:
    StoppedClock() : previous_(KeyClock::install(this)) {}
    ~StoppedClock() override { KeyClock::install(previous_); }
    QDateTime now() override { return QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9, 45)); }
    void sleepMs(int) override {}

private:
    KeyClock *previous_;
};

class KeyFillTest : public MaintenanceTest {
protected:
    bool commandControlsEnabled(const Pane &pane)
    {
        return window->action(QStringLiteral("Close1"))->isEnabled() && pane.tableList->isEnabled()
            && pane.fieldNameCombo->isEnabled() && pane.filterValueEdit->isEnabled() && pane.grid->isEnabled()
            && !pane.table->controlsDisabled();
    }
    StoppedClock clock;
};

TEST_F(KeyFillTest, FillEmptyFillsUpToTheMaximumOfEmptyRecords)
{
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("keys"));
    chooseFieldName(pane, QStringLiteral("K"));
    typeFilter(pane, QStringLiteral("x"));
    fake.answerInput(QStringLiteral("2"));
    choose("FillColumnwithUniqueDateTime20char1");
    ASSERT_EQ(fake.callsOf(FakeDialogs::Kind::Input).size(), 1);
    EXPECT_EQ(fake.callsOf(FakeDialogs::Kind::Input)[0].caption, QStringLiteral("Max Records"));
    EXPECT_EQ(fake.callsOf(FakeDialogs::Kind::Input)[0].text, QStringLiteral("Maximum records to change"));
    EXPECT_EQ(messages(), QStringList{kDone + QStringLiteral("\n2 records changed.")});
    EXPECT_EQ(rows(QStringLiteral("SELECT ID, K FROM keys ORDER BY ID")),
              (QStringList{QStringLiteral("1|x1"), QStringLiteral("2|20240305140709045"), QStringLiteral("3|x3"),
                           QStringLiteral("4|20240305140709046"), QStringLiteral("5|")}));
    EXPECT_TRUE(pane.fieldNameCombo->currentText().isEmpty());
    EXPECT_TRUE(pane.filterValueEdit->text().isEmpty());
    EXPECT_FALSE(pane.table->filtered());
    EXPECT_EQ(pane.table->recNo(), 1);
    EXPECT_EQ(pane.recordCountEdit->text(), QStringLiteral("5"));
    EXPECT_TRUE(commandControlsEnabled(pane));
}

TEST_F(KeyFillTest, FillEmptyWithTheDefaultMaximumChangesNothing)
{
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("keys"));
    chooseFieldName(pane, QStringLiteral("K"));
    choose("FillColumnwithUniqueDateTime20char1"); // the input box is cancelled: "0"
    EXPECT_EQ(messages(), QStringList{kDone + QStringLiteral("\nA maximum of 0 changes nothing: no record was changed.")});
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM keys WHERE K = '' OR K IS NULL")), QStringList{QStringLiteral("3")});
    EXPECT_TRUE(pane.fieldNameCombo->currentText().isEmpty());
}

TEST_F(KeyFillTest, BadAnswersAndColumnsAreRefusedWithControlsLeftUsable)
{
    Pane &pane = openTable(2, QStringLiteral("Maint"), QStringLiteral("keys"));
    chooseFieldName(pane, QStringLiteral("K"));
    fake.answerInput(QStringLiteral("abc"));
    choose("FillemptyfieldsforcolumnwithUniqueDateTime20charvalue1");
    EXPECT_EQ(messages(), QStringList{QStringLiteral("Error occurred, please re-enter value.")});
    EXPECT_TRUE(commandControlsEnabled(pane));

    // Too short, not a string, a memo without a size, no column at all.
    for (const QString &column : {QStringLiteral("SHORT"), QStringLiteral("N"), QStringLiteral("MEMO")}) {
        fake.clear();
        chooseFieldName(pane, column);
        fake.answerInput(QStringLiteral("5"));
        choose("FillemptyfieldsforcolumnwithUniqueDateTime20charvalue1");
        choose("FillALLfieldsforcolumnwithUniqueDateTime20charvalue2");
        EXPECT_EQ(messages(), (QStringList{kTooShort, kTooShort})) << column.toStdString();
        EXPECT_TRUE(commandControlsEnabled(pane));
    }
    fake.clear();
    pane.fieldNameCombo->setCurrentIndex(-1);
    choose("FillALLfieldsforcolumnwithUniqueDateTime20charvalue2");
    EXPECT_EQ(messages(), QStringList{kNoColumn});
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM keys WHERE K LIKE '2024%'")), QStringList{QStringLiteral("0")});
}

TEST_F(KeyFillTest, FillAllGivesEveryRecordAGreaterKeyEvenWhenTheClockStandsStill)
{
    exec({QStringLiteral("CREATE INDEX ByName ON keyed (NAME)")});
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("keyed"));
    chooseFromList(pane.indexComboBox, QStringLiteral("ByName")); // the key column is the index
    chooseFieldName(pane, QStringLiteral("NAME"));
    choose("FillALLfieldsforcolumnwithUniqueDateTime20charvalue1");
    EXPECT_EQ(messages(), QStringList{kDone + QStringLiteral("\n3 records changed.")});
    // Filled in index order: one, three, two.
    EXPECT_EQ(rows(QStringLiteral("SELECT ID, NAME FROM keyed ORDER BY ID")),
              (QStringList{QStringLiteral("1|20240305140709045"), QStringLiteral("2|20240305140709047"),
                           QStringLiteral("3|20240305140709046")}));
    EXPECT_TRUE(pane.fieldNameCombo->currentText().isEmpty());
    EXPECT_TRUE(commandControlsEnabled(pane));
}

TEST_F(KeyFillTest, UnknownColumnGivesTheEngineErrorAndUnlocks)
{
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("keys"));
    pane.fieldNameCombo->setEditable(true);
    pane.fieldNameCombo->setEditText(QStringLiteral("NOSUCH"));
    choose("FillALLfieldsforcolumnwithUniqueDateTime20charvalue1");
    EXPECT_EQ(errors().size(), 1);
    EXPECT_TRUE(commandControlsEnabled(pane));
}

} // namespace
