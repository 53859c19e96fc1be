// The Maintenance menu: the entries that need pane 2 follow its visibility
// each time one of the three submenus opens; the inert entry does nothing.
#include "fake_dialogs.h"
#include "temp_dirs.h"
#include "test_session.h"

#include "browser/mainwindow.h"
#include "browser/maintenance_menu.h"

#include <QAction>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

using namespace pelldrake;
using namespace pelldrake::test;

class MaintenanceMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cwd_ = std::make_unique<ScopedCurrentDir>(session_.dir().path());
        window_ = std::make_unique<TPelldrakeCDSForm>(&session_.session());
    }
    void TearDown() override
    {
        window_.reset();
        cwd_.reset();
    }
    QStringList enabledPane2Items() const
    {
        QStringList out;
        for (const QString &name : pane2MenuItems()) {
            QAction *a = window_->action(name);
            EXPECT_NE(a, nullptr) << name.toStdString();
            if (a && a->isEnabled())
                out << name;
        }
        return out;
    }
    FakeDialogs dialogs_;
    TestSession session_;
    std::unique_ptr<ScopedCurrentDir> cwd_;
    std::unique_ptr<TPelldrakeCDSForm> window_;
};

TEST_F(MaintenanceMenuTest, PaneTwoEntriesFollowItsVisibilityWhenASubmenuOpens)
{
    ASSERT_EQ(pane2MenuItems().size(), 12);
    for (const char *submenu : {"Alias21", "TableData1", "TableComparison1"}) {
        SCOPED_TRACE(submenu);
        window_->HideAlias21Click();
        // Hiding alone changes nothing; opening a submenu does.
        emit window_->menu(QString::fromLatin1(submenu))->aboutToShow();
        EXPECT_TRUE(enabledPane2Items().isEmpty());
        window_->ShowAlias21Click();
        emit window_->menu(QString::fromLatin1(submenu))->aboutToShow();
        EXPECT_EQ(enabledPane2Items(), pane2MenuItems());
    }
}

TEST_F(MaintenanceMenuTest, InertEntriesCanBeChosenAndDoNothing)
{
    for (const char *name : {"N1"}) { // the compare entries have their own tests (tests/compare)
        QAction *a = window_->action(QString::fromLatin1(name));
        ASSERT_NE(a, nullptr) << name;
        a->trigger();
    }
    EXPECT_EQ(window_->action("N1")->text(), QString(20, QLatin1Char('-')));
    EXPECT_FALSE(window_->action("N1")->isSeparator());
    EXPECT_TRUE(dialogs_.calls().isEmpty());
    EXPECT_TRUE(window_->alias2Visible());
}
