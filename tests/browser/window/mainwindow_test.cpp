// Menus, pop-up menus, showing and hiding pane 2, resizing, the focus
// highlight, the controls lock and errors escaping handlers.
#include "window_fixture.h"

#include "shell/aboutbox.h"
#include "widgets/dbgrid.h"
#include "widgets/dbnavigator.h"

#include <QAction>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QSplitter>
#include <QTimer>

using namespace pelldrake;
using pelldrake::test::FakeDialogs;
using pelldrake::test::WindowTest;

namespace {

QAction *actionByCaption(const QList<QAction *> &actions, const QString &caption)
{
    for (QAction *a : actions)
        if (a->text() == caption)
            return a;
    return nullptr;
}

// Follows a path of captions from the menu bar, e.g. {"Maintenance", "Alias #2", "Table Dump"}.
QAction *menuEntry(TPelldrakeCDSForm &w, const QStringList &path)
{
    QList<QAction *> actions = w.menuBar()->actions();
    QAction *found = nullptr;
    for (const QString &caption : path) {
        found = actionByCaption(actions, caption);
        if (!found)
            return nullptr;
        actions = found->menu() ? found->menu()->actions() : QList<QAction *>{};
    }
    return found;
}

struct Entry {
    QStringList path;
    const char *name;
    const char *handler; // nullptr: no command
    bool enabled;
};

QColor stripColour(TPelldrakeCDSForm &w, const char *name)
{
    return w.findChild<QWidget *>(QString::fromLatin1(name))->palette().color(QPalette::Window);
}

// Records, in order, the enabled changes of watched widgets and the
// synchronous repaints of one viewport.
class LockRecorder : public QObject {
public:
    QStringList events;
    QWidget *viewport = nullptr;
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::EnabledChange)
            events << watched->objectName() + (static_cast<QWidget *>(watched)->isEnabled() ? "+" : "-");
        else if (event->type() == QEvent::Paint && watched == viewport)
            events << QStringLiteral("paint");
        return false;
    }
};

} // namespace

TEST_F(WindowTest, MainMenuHasEveryEntryWithItsCaptionHandlerAndState)
{
    const QString fillEmpty = QStringLiteral("Fill empty fields for column with Unique DateTime (20) char value");
    const QString fillAll = QStringLiteral("Fill ALL fields for column with Unique DateTime (20) char value");
    const QString exportTab = QStringLiteral("Export TAB Delimited fields with Header Record");
    const QString m = QStringLiteral("Maintenance");
    const QString a1 = QStringLiteral("Alias #1");
    const QString a2 = QStringLiteral("Alias #2");
    const QList<Entry> entries = {
        {{"File", "Close"}, "Close1", "Close1Click", true},
        {{"Alias", "Hide Alias #2"}, "HideAlias21", "HideAlias21Click", true},
        {{"Alias", "Show Alias #2"}, "ShowAlias21", "ShowAlias21Click", true},
        {{m, a1, fillEmpty}, "FillColumnwithUniqueDateTime20char1", "FillColumnwithUniqueDateTime20char1Click", true},
        {{m, a1, fillAll}, "FillALLfieldsforcolumnwithUniqueDateTime20charvalue1",
         "FillALLfieldsforcolumnwithUniqueDateTime20charvalue1Click", true},
        {{m, a1, exportTab}, "ExportTABDelimitedfieldswithHeaderRecord1", "ExportTABDelimitedfieldswithHeaderRecord1Click", true},
        {{m, a1, "Table Dump"}, "TableDump1", "TableDump1Click", true},
        {{m, a1, "Table Load"}, "TableLoad1", "TableLoad1Click", true},
        {{m, a1, "Delete All Records"}, "DeleteAllRecords1", "DeleteAllRecords1Click", true},
        {{m, a2}, "Alias21", "Alias21Click", true},
        {{m, a2, fillEmpty}, "FillemptyfieldsforcolumnwithUniqueDateTime20charvalue1",
         "FillemptyfieldsforcolumnwithUniqueDateTime20charvalue1Click", true},
        {{m, a2, fillAll}, "FillALLfieldsforcolumnwithUniqueDateTime20charvalue2",
         "FillALLfieldsforcolumnwithUniqueDateTime20charvalue2Click", true},
        {{m, a2, exportTab}, "ExportTABDelimitedfieldswithHeaderRecord2", "ExportTABDelimitedfieldswithHeaderRecord2Click", true},
        {{m, a2, "Table Dump"}, "TableDump2", "TableDump2Click", true},
        {{m, a2, "Table Load"}, "TableLoad2", "TableLoad2Click", true},
        {{m, a2, "Delete All Records"}, "DeleteAllRecords2", "DeleteAllRecords2Click", true},
        {{m, QString(20, QLatin1Char('-'))}, "N1", nullptr, true},
        {{m, "Table Data"}, "TableData1", "TableData1Click", true},
        {{m, "Table Data", "Compare Data"}, "CompareData2", "CompareData2Click", true},
        {{m, "Table Structure"}, "TableComparison1", "TableComparison1Click", true},
        {{m, "Table Structure", "Field size only"}, "Fieldsizeonly1", "Fieldsizeonly1Click", true},
        {{m, "Table Structure", "Fieldname and Field size"}, "FieldnameandFieldsize1", "FieldnameandFieldsize1Click", true},
        {{"Help", "About"}, "About1", "About1Click", true},
    };
    QStringList top;
    for (QAction *a : window().menuBar()->actions())
        top << a->text();
    EXPECT_EQ(top, (QStringList{"File", "Alias", "Maintenance", "Help"}));
    EXPECT_EQ(window().menuBar()->objectName(), QStringLiteral("MainMenu1"));

    for (const Entry &e : entries) {
        SCOPED_TRACE(e.path.join(" > ").toStdString());
        QAction *action = menuEntry(window(), e.path);
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->objectName(), QString::fromLatin1(e.name));
        EXPECT_EQ(action->property("handler").toString(), e.handler ? QString::fromLatin1(e.handler) : QString());
        EXPECT_EQ(action->isEnabled(), e.enabled);
        EXPECT_FALSE(action->isSeparator());
        EXPECT_EQ(window().action(QString::fromLatin1(e.name)), action);
    }

    // The maintenance menu in its order; the hyphen row is an ordinary entry.
    QStringList maintenance;
    for (QAction *a : menuEntry(window(), {m})->menu()->actions())
        maintenance << a->text();
    EXPECT_EQ(maintenance, (QStringList{a1, a2, QString(20, QLatin1Char('-')), "Table Data", "Table Structure"}));

    // The inert entry can be chosen and changes nothing.
    dialogs_.clear();
    window().action(QStringLiteral("N1"))->trigger();
    EXPECT_TRUE(dialogs_.calls().isEmpty());
}

TEST_F(WindowTest, PopupMenusBelongToTheirControlsAndPane2HasNoneOnListOrListing)
{
    struct Popup {
        const char *menu;
        const char *control;
        QStringList captions;
        QStringList handlers;
    };
    const QList<Popup> popups = {
        {"PopupMenu1", "TableInfoListBox", {"Save"}, {"Save1Click"}},
        {"PopupMenu2", "ListBox1", {"Delete All Records", "Table Load", "Execute Query"},
         {"EmptyTable1Click", "LoadData1Click", "ExecuteQuery1Click"}},
        // The grid's Copy (of its selected cells) is the grid's own action.
        {"PopupMenu3", "DBGrid1", {"Field View", "Copy"}, {"FieldView1Click", ""}},
        {"PopupMenu4", "DBGrid2", {"Field View", "Copy"}, {"FieldView2Click", ""}},
    };
    for (const Popup &p : popups) {
        SCOPED_TRACE(p.menu);
        auto *menu = find<QMenu>(p.menu);
        ASSERT_NE(menu, nullptr);
        auto *control = find<QWidget>(p.control);
        EXPECT_EQ(menu->parentWidget(), control);
        EXPECT_EQ(control->contextMenuPolicy(), Qt::CustomContextMenu);
        QStringList captions, handlers;
        for (QAction *a : menu->actions()) {
            captions << a->text();
            handlers << a->property("handler").toString();
            // Every pop-up command works by now.
            EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
        }
        EXPECT_EQ(captions, p.captions);
        EXPECT_EQ(handlers, p.handlers);
    }
    for (const char *name : {"ListBox2", "TableInfoListBox2"}) {
        auto *control = find<QWidget>(name);
        EXPECT_TRUE(control->findChildren<QMenu *>().isEmpty()) << name;
        EXPECT_NE(control->contextMenuPolicy(), Qt::CustomContextMenu) << name;
    }
}

TEST_F(WindowTest, HidingAndShowingPane2SetsTheGridFromTheOuterHeight)
{
    EXPECT_EQ(TPelldrakeCDSForm::gridHeightForOuterHeight(627), 313);
    EXPECT_EQ(TPelldrakeCDSForm::gridHeightForOuterHeight(626), 313);
    EXPECT_EQ(TPelldrakeCDSForm::gridHeightForOuterHeight(1), 0);

    window().resize(704, 627);
    showWindow();
    Pane &one = window().pane1();
    Pane &two = window().pane2();
    two.aliasCombo->setEditText(QStringLiteral("Kept"));
    two.tableList->addItems({QStringLiteral("orders"), QStringLiteral("parts")});
    two.tableList->setCurrentRow(1);
    two.filterValueEdit->setText(QStringLiteral("Lon"));

    window().hideAlias2(627);
    QApplication::processEvents();
    EXPECT_TRUE(two.frame->isHidden());
    EXPECT_TRUE(window().splitter7()->isHidden());
    EXPECT_FALSE(window().alias2Visible());
    EXPECT_EQ(one.grid->height(), 313);
    // Pane 1 fills the client area.
    EXPECT_EQ(one.frame->height(), window().paneSplitter()->height());

    // Resizing with pane 2 hidden keeps the grid at half the outer height.
    window().formResize(700);
    EXPECT_EQ(one.grid->height(), 350);
    window().resize(704, 600);
    QApplication::processEvents();
    EXPECT_EQ(one.grid->height(), window().outerHeight() / 2);

    window().resize(704, 627);
    QApplication::processEvents();
    window().showAlias2(627);
    QApplication::processEvents();
    EXPECT_FALSE(two.frame->isHidden());
    EXPECT_FALSE(window().splitter7()->isHidden());
    EXPECT_EQ(one.frame->height(), 313);
    EXPECT_EQ(one.grid->height(), 156) << one.gridSplitter->height() << " " << one.listSplitter->height()
                                       << " " << one.rightArea->height() << " " << one.infoListing->height();

    // With pane 2 shown, the resize handler leaves the grid alone; the
    // splitters give a larger window's height to the grid (pane 2 shows no table).
    window().formResize(900);
    EXPECT_EQ(one.grid->height(), 156);
    window().resize(704, 700);
    QApplication::processEvents();
    EXPECT_EQ(one.grid->height(), 156 + 73);

    // Pane 2 came back as it was.
    EXPECT_EQ(two.aliasCombo->currentText(), QStringLiteral("Kept"));
    EXPECT_EQ(two.tableList->count(), 2);
    EXPECT_EQ(two.tableList->currentRow(), 1);
    EXPECT_EQ(two.filterValueEdit->text(), QStringLiteral("Lon"));

    // The menu entries run the same operations with the real outer height.
    window().action(QStringLiteral("HideAlias21"))->trigger();
    QApplication::processEvents();
    EXPECT_TRUE(two.frame->isHidden());
    EXPECT_EQ(one.grid->height(), window().outerHeight() / 2);
    window().action(QStringLiteral("ShowAlias21"))->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(two.frame->isHidden());
    EXPECT_EQ(one.grid->height(), window().outerHeight() / 2 / 2);
}

TEST_F(WindowTest, FocusHighlightFollowsTheKeyboardFocusBetweenPanes)
{
    showWindow();
    QApplication::setActiveWindow(&window());
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window()));
    const QColor silver(192, 192, 192);
    const QColor face = buttonFaceColour();
    ASSERT_NE(face, silver);

    window().pane1().grid->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(stripColour(window(), "Panel1"), silver);
    EXPECT_EQ(stripColour(window(), "Panel2"), face);

    window().pane2().tableList->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(stripColour(window(), "Panel1"), face);
    EXPECT_EQ(stripColour(window(), "Panel2"), silver);

    window().pane1().infoListing->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(stripColour(window(), "Panel1"), silver);
    EXPECT_EQ(stripColour(window(), "Panel2"), face);

    // Focus inside the same pane keeps the highlight, in an open drop-down
    // list too; focus nowhere clears it.
    window().pane1().filterValueEdit->setFocus();
    QApplication::processEvents();
    EXPECT_EQ(stripColour(window(), "Panel1"), silver);
    QComboBox *fields = window().pane1().fieldNameCombo;
    fields->addItem(QStringLiteral("NAME"));
    fields->showPopup();
    QApplication::processEvents();
    ASSERT_TRUE(fields->view()->isVisible());
    EXPECT_EQ(stripColour(window(), "Panel1"), silver);
    EXPECT_EQ(stripColour(window(), "Panel2"), face);
    fields->hidePopup();
    window().pane1().filterValueEdit->setFocus();
    QApplication::processEvents();
    window().pane1().filterValueEdit->clearFocus();
    QApplication::processEvents();
    EXPECT_EQ(stripColour(window(), "Panel1"), face);
}

TEST_F(WindowTest, ControlsLockActsInItsOrderOnOnePaneOnly)
{
    showWindow();
    for (Pane *pane : {&window().pane1(), &window().pane2()}) {
        SCOPED_TRACE(pane->number);
        LockRecorder recorder;
        recorder.viewport = pane->grid->viewport();
        const QList<QWidget *> watched = {pane->aliasCombo, pane->tableList, pane->infoListing,
                                          pane->grid, pane->navigator, pane->grid->viewport()};
        for (QWidget *w : watched)
            w->installEventFilter(&recorder);
        window().disableControls(*pane);
        window().enableControls(*pane);
        for (QWidget *w : watched)
            w->removeEventFilter(&recorder);

        const QString n = pane->number == 1 ? QString() : QStringLiteral("2");
        const QString list = pane->number == 1 ? QStringLiteral("ListBox1") : QStringLiteral("ListBox2");
        const QString grid = pane->number == 1 ? QStringLiteral("DBGrid1") : QStringLiteral("DBGrid2");
        const QString nav = pane->number == 1 ? QStringLiteral("DBNavigator1") : QStringLiteral("DBNavigator2");
        const QString info = QStringLiteral("TableInfoListBox") + n;
        const QString alias = QStringLiteral("AliasCombo") + n;
        // The grid's viewport follows its grid's enabled state; it is not a step of its own.
        recorder.events.removeAll(QStringLiteral("qt_scrollarea_viewport-"));
        recorder.events.removeAll(QStringLiteral("qt_scrollarea_viewport+"));
        EXPECT_EQ(recorder.events, (QStringList{alias + "-", list + "-", info + "-", grid + "-", nav + "-",
                                                alias + "+", list + "+", info + "+", grid + "+", "paint",
                                                nav + "+"}));
    }
    // Locking pane 2 leaves pane 1 usable.
    window().disableControls(window().pane2());
    EXPECT_TRUE(window().pane1().aliasCombo->isEnabled());
    EXPECT_TRUE(window().pane1().grid->isEnabled());
    EXPECT_FALSE(window().pane2().navigator->isEnabled());
    window().enableControls(window().pane2());
}

// An event handler that fails, as a handler of the window would when the engine throws.
class FailingHandler : public QObject {
public:
    int runs = 0;
    bool event(QEvent *e) override
    {
        if (e->type() != QEvent::User)
            return QObject::event(e);
        ++runs;
        throw std::runtime_error("Table does not exist.");
    }
};

TEST_F(WindowTest, AnErrorInAHandlerReachesTheErrorDisplayAndTheWindowGoesOn)
{
    showWindow();
    FailingHandler handler;
    for (int i = 0; i < 2; ++i) {
        QCoreApplication::postEvent(&handler, new QEvent(QEvent::User));
        QApplication::processEvents();
    }
    EXPECT_EQ(handler.runs, 2);
    EXPECT_EQ(dialogs_.errors(), (QStringList{"Table does not exist.", "Table does not exist."}));
    EXPECT_TRUE(window().isVisible());
}

TEST_F(WindowTest, AboutOpensANewModalWindowEachTimeAndDestroysIt)
{
    showWindow();
    QList<QPointer<QWidget>> seen;
    int aboutBoxes = 0;
    for (int i = 0; i < 2; ++i) {
        QTimer::singleShot(0, [&] {
            QWidget *modal = QApplication::activeModalWidget();
            seen << modal;
            if (auto *box = qobject_cast<TAboutBox *>(modal)) {
                ++aboutBoxes;
                box->accept();
            }
        });
        window().action(QStringLiteral("About1"))->trigger();
    }
    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(aboutBoxes, 2);
    // Both were about windows and both are gone once their modal loop returned.
    EXPECT_TRUE(seen[0].isNull());
    EXPECT_TRUE(seen[1].isNull());
    EXPECT_TRUE(window().findChildren<TAboutBox *>().isEmpty());
}

TEST_F(WindowTest, CloseEntryClosesTheWindow)
{
    showWindow();
    window().action(QStringLiteral("Close1"))->trigger();
    QApplication::processEvents();
    EXPECT_FALSE(window().isVisible());
}
