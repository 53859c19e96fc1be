// The window's controls, found by name as configuration files and later
// commands find them, with their captions, places and sizes.
#include "window_fixture.h"

#include "engine/database.h"
#include "widgets/dbgrid.h"
#include "widgets/dbmemo.h"
#include "widgets/dbnavigator.h"
#include "widgets/fieldview.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>

using namespace pelldrake;
using pelldrake::test::WindowTest;

namespace {

struct Placed {
    const char *pane1;
    const char *pane2;
    int left, top, width;
};

// Top strip controls: left, top, width.
const Placed kTopStrip[] = {
    {"AliasCombo", "AliasCombo2", 40, 4, 173},
    {"PasswordRequired", "PasswordRequired2", 40, 28, 113},
    {"useExtensions", "useExtensions2", 40, 44, 93},
    {"TypeComboBox", "TypeComboBox2", 40, 60, 61},
    {"FieldNameCombo", "FieldNameCombo2", 280, 4, 177},
    {"FilterValueEdit", "FilterValueEdit2", 280, 28, 177},
    {"IndexComboBox", "IndexComboBox2", 280, 52, 177},
    {"DBNavigator1", "DBNavigator2", 284, 76, 240},
    {"RecordCountEdit", "RecordCountEdit2", 620, 4, 61},
    {"FieldCountEdit", "FieldCountEdit2", 620, 24, 61},
    {"CurrentRecord", "CurrentRecord2", 620, 44, 61},
    {"BitBtn1", "BitBtn2", 560, 76, 119},
};

struct LabelAt {
    const char *name;
    const char *text;
    int left, top;
};

const LabelAt kLabels[] = {
    {"AliasLabel", "Alias", 16, 8},          {"TypeLabel", "Type", 8, 64},
    {"FieldNamesLabel", "Field Names", 220, 8}, {"FilterValueLabel", "Filter Value", 224, 32},
    {"IndexLabel", "Index", 248, 56},        {"RecordCountLabel", "Record Count", 548, 8},
    {"FieldCountLabel", "Field Count", 560, 28}, {"CurrentRecordLabel", "Current Record", 540, 48},
};

} // namespace

TEST_F(WindowTest, CaptionSizeAndGlobalReference)
{
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Quenfold/Pelldrake"));
    EXPECT_EQ(window().size(), QSize(704, 626));
    EXPECT_EQ(PelldrakeCDSForm, &window());
    EXPECT_EQ(window().startDirectory(), home_.path());
}

TEST_F(WindowTest, EveryTopStripControlHasItsNameCaptionPlaceAndWidth)
{
    for (int pane = 1; pane <= 2; ++pane) {
        SCOPED_TRACE(pane);
        const QString strip = pane == 1 ? QStringLiteral("Panel1") : QStringLiteral("Panel2");
        auto *panel = window().findChild<QWidget *>(strip);
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->height(), 105);
        for (const Placed &p : kTopStrip) {
            const QString name = QString::fromLatin1(pane == 1 ? p.pane1 : p.pane2);
            SCOPED_TRACE(name.toStdString());
            auto *w = window().findChild<QWidget *>(name);
            ASSERT_NE(w, nullptr);
            EXPECT_EQ(w->parentWidget(), panel);
            EXPECT_EQ(w->geometry().left(), p.left);
            EXPECT_EQ(w->geometry().top(), p.top);
            // Wider only where the platform's font needs the room for a caption.
            EXPECT_GE(w->width(), p.width);
        }
        const QString suffix = pane == 1 ? QString() : QStringLiteral("2");
        for (const LabelAt &l : kLabels) {
            auto *label = window().findChild<QLabel *>(QString::fromLatin1(l.name) + suffix);
            ASSERT_NE(label, nullptr) << l.name;
            EXPECT_EQ(label->text(), QString::fromLatin1(l.text));
            EXPECT_EQ(label->y(), l.top) << l.name;
            EXPECT_LE(label->x(), l.left) << l.name; // moved left only to keep clear of its control
        }
    }

    EXPECT_EQ(find<QCheckBox>("PasswordRequired")->text(), QStringLiteral("Password Required"));
    EXPECT_EQ(find<QCheckBox>("useExtensions2")->text(), QStringLiteral("Use Extensions"));
    EXPECT_FALSE(find<QCheckBox>("PasswordRequired2")->isChecked());
    EXPECT_EQ(find<QPushButton>("BitBtn2")->text(), QStringLiteral("Default Column Order"));
    EXPECT_TRUE(find<QPushButton>("BitBtn1")->isEnabled());

    for (const char *name : {"TypeComboBox", "TypeComboBox2"}) {
        QComboBox *type = find<QComboBox>(name);
        QStringList entries;
        for (int i = 0; i < type->count(); ++i)
            entries << type->itemText(i);
        EXPECT_EQ(entries, (QStringList{"ttASCII", "ttDBase", "ttDefault", "ttFoxPro", "ttParadox", ""}));
        EXPECT_TRUE(type->currentText().isEmpty());
    }
    for (const char *name : {"RecordCountEdit", "FieldCountEdit", "CurrentRecord", "RecordCountEdit2",
                             "FieldCountEdit2", "CurrentRecord2"}) {
        QLineEdit *counter = find<QLineEdit>(name);
        EXPECT_EQ(counter->text(), QStringLiteral("0")) << name;
        EXPECT_TRUE(counter->isReadOnly()) << name;
        EXPECT_EQ(counter->focusPolicy(), Qt::NoFocus) << name;
    }
}

TEST_F(WindowTest, NoCaptionIsClippedAndNoTopStripControlsOverlap)
{
    showWindow();
    for (const char *strip : {"Panel1", "Panel2"}) {
        SCOPED_TRACE(strip);
        auto *panel = window().findChild<QWidget *>(QString::fromLatin1(strip));
        ASSERT_NE(panel, nullptr);
        const QList<QWidget *> controls = panel->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        for (QWidget *w : controls) {
            const std::string name = w->objectName().toStdString();
            // Whatever shows a caption or a chosen entry is wide enough for it.
            auto *combo = qobject_cast<QComboBox *>(w);
            if (qobject_cast<QLabel *>(w) || qobject_cast<QAbstractButton *>(w) || (combo && combo->count() > 0)) {
                EXPECT_GE(w->width(), w->sizeHint().width()) << name << " clips its caption";
            }
            EXPECT_TRUE(panel->rect().contains(w->geometry())) << name;
            for (QWidget *other : controls) {
                if (other != w && !other->isHidden() && !w->isHidden()) {
                    // The design stacks its 17-pixel check boxes 16 pixels apart: one shared row is no overlap.
                    const QRect common = w->geometry().intersected(other->geometry());
                    EXPECT_TRUE(common.isEmpty() || common.height() <= 1)
                        << name << " overlaps " << other->objectName().toStdString();
                }
            }
        }
    }
}

TEST_F(WindowTest, PaneFramesListsGridsMemosAndListings)
{
    showWindow();
    auto *frame1 = find<QGroupBox>("GroupBox1");
    auto *frame2 = find<QGroupBox>("GroupBox3");
    EXPECT_EQ(frame1->title(), QStringLiteral("Alias #1"));
    EXPECT_EQ(frame2->title(), QStringLiteral("Alias #2"));
    EXPECT_EQ(frame1->height(), 281);
    EXPECT_TRUE(find<QGroupBox>("GroupBox2")->title().isEmpty());
    EXPECT_TRUE(find<QGroupBox>("GroupBox4")->title().isEmpty());

    EXPECT_EQ(find<QListWidget>("ListBox1")->width(), 207);
    EXPECT_EQ(find<QListWidget>("ListBox2")->width(), 207);
    EXPECT_EQ(find<DBGrid>("DBGrid1")->height(), 58);
    EXPECT_EQ(find<DBGrid>("DBGrid2")->height(), 66);

    // Memo of pane 1 hidden at creation, pane 2's visible; field views hidden.
    EXPECT_TRUE(find<QGroupBox>("MemoFieldGroup")->isHidden());
    EXPECT_FALSE(find<QGroupBox>("MemoFieldGroup2")->isHidden());
    EXPECT_EQ(find<QGroupBox>("MemoFieldGroup2")->title(),
              QStringLiteral("Click on a memo field in the table to view the data"));
    EXPECT_EQ(find<QGroupBox>("MemoFieldGroup2")->height(), 45);
    EXPECT_GE(find<QGroupBox>("MemoFieldGroup2")->minimumHeight(), 45);
    EXPECT_NE(find<DBMemo>("DBMemo1"), nullptr);
    EXPECT_NE(find<DBMemo>("DBMemo2"), nullptr);
    EXPECT_TRUE(find<TlynEDIDBFieldView>("lynEDIDBFieldView1")->isHidden());
    EXPECT_TRUE(find<TlynEDIDBFieldView>("lynEDIDBFieldView2")->isHidden());

    for (const char *name : {"TableInfoListBox", "TableInfoListBox2"}) {
        const QFont font = find<QListWidget>(name)->font();
        EXPECT_TRUE(QFontInfo(font).fixedPitch()) << name;
        EXPECT_EQ(font.pointSize(), 10) << name;
    }

    // Splitters: 8 pixels between the panes, 5 inside them.
    EXPECT_EQ(find<QSplitterHandle>("Splitter7")->height(), 8);
    for (const char *name : {"Splitter1", "Splitter4"})
        EXPECT_EQ(find<QSplitterHandle>(name)->width(), 5) << name;
    for (const char *name : {"Splitter2", "Splitter3", "Splitter5", "Splitter6"})
        EXPECT_NE(find<QSplitterHandle>(name), nullptr) << name;
    EXPECT_EQ(find<QSplitterHandle>("Splitter5")->height(), 5);
}

TEST_F(WindowTest, PaneStructuresHoldTheirOwnControlsAndEngineObjects)
{
    Pane &one = window().pane1();
    Pane &two = window().pane2();
    EXPECT_EQ(one.aliasCombo->objectName(), QStringLiteral("AliasCombo"));
    EXPECT_EQ(two.aliasCombo->objectName(), QStringLiteral("AliasCombo2"));
    EXPECT_EQ(one.table->objectName(), QStringLiteral("Table1"));
    EXPECT_EQ(two.table->objectName(), QStringLiteral("Table2"));
    EXPECT_EQ(one.database->objectName(), QStringLiteral("Database2"));
    EXPECT_EQ(two.database->objectName(), QStringLiteral("Database3"));
    EXPECT_EQ(one.dataSource->objectName(), QStringLiteral("DataSource1"));
    EXPECT_EQ(two.dataSource->objectName(), QStringLiteral("DataSource2"));
    EXPECT_FALSE(one.database->loginPrompt());
    EXPECT_FALSE(two.database->loginPrompt());
    EXPECT_EQ(one.dataSource->dataSet(), one.table);
    EXPECT_EQ(one.grid->dataSource(), one.dataSource);
    EXPECT_EQ(two.navigator->dataSource(), two.dataSource);
    EXPECT_EQ(two.memo->dataSource(), two.dataSource);
    EXPECT_TRUE(one.hasListPopups && one.handlesColumnExit);
    EXPECT_FALSE(two.hasListPopups || two.handlesColumnExit);

    // Any control or engine object leads back to its pane.
    EXPECT_EQ(window().paneOf(find<QWidget>("FilterValueEdit2")), &two);
    EXPECT_EQ(window().paneOf(find<QWidget>("TableInfoListBox")), &one);
    EXPECT_EQ(window().paneOf(two.table), &two);
    EXPECT_EQ(window().paneOf(window().menuBar()), nullptr);
}
