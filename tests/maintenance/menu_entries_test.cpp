// The maintenance entries of the main window: each is there, enabled and
// connected from its row of the entry table, and its handler's name is a slot
// of the window that runs the same command (scripts call handlers by name).
#include "maintenance_fixture.h"

#include "browser/maintenance_menu.h"

#include "engine/table.h"

#include <QAction>
#include <QFile>
#include <QMetaObject>

using namespace pelldrake;
using namespace pelldrake::test;

namespace {

using MenuEntriesTest = MaintenanceTest;

TEST_F(MenuEntriesTest, EveryEntryIsConnectedAndItsHandlerRunsTheSameCommand)
{
    openWindow();
    ASSERT_EQ(maintenanceEntries().size(), 20u);
    for (const MaintenanceEntry &e : maintenanceEntries()) {
        SCOPED_TRACE(e.name);
        QAction *action = window->action(QString::fromLatin1(e.name));
        ASSERT_NE(action, nullptr);
        EXPECT_TRUE(action->isEnabled());
        EXPECT_EQ(action->text(), QString::fromLatin1(e.caption));
        EXPECT_EQ(action->property("handler").toString(), QString::fromLatin1(e.handler));
        EXPECT_GE(window->metaObject()->indexOfSlot((QByteArray(e.handler) + "()").constData()), 0);
        EXPECT_EQ(maintenanceEntry(e.name), &e);
    }

    // Pane 1's dump and its table list entry "Delete All Records", by their handlers' names.
    Pane &pane = openTable(1, QStringLiteral("Maint"), QStringLiteral("people"));
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "TableDump1Click"));
    EXPECT_TRUE(QFile::exists(dumpPath(QStringLiteral("Maint_people.txt"))));
    EXPECT_EQ(pane.table->recNo(), 2);

    fake.answerYesNo(true);
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "EmptyTable1Click"));
    ASSERT_EQ(fake.callsOf(FakeDialogs::Kind::YesNo).size(), 1);
    EXPECT_TRUE(fake.callsOf(FakeDialogs::Kind::YesNo)[0].text.startsWith(QStringLiteral("Delete All Records?\n")));
    EXPECT_EQ(rows(QStringLiteral("SELECT COUNT(*) FROM people")), QStringList{QStringLiteral("0")});
}

} // namespace
