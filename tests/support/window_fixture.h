#pragma once

#include "browser/mainwindow.h"
#include "fake_dialogs.h"
#include "temp_dirs.h"
#include "test_session.h"

#include <QTest>
#include <gtest/gtest.h>
#include <memory>

namespace pelldrake::test {

// A main window over a test session, started in a temp directory with the
// scripted dialogs installed.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        cwd_ = std::make_unique<ScopedCurrentDir>(home_.path());
        window_ = std::make_unique<TPelldrakeCDSForm>(&session_.session());
    }
    void TearDown() override
    {
        window_.reset();
        cwd_.reset();
    }

    // Shows the window and waits until it is on the (offscreen) screen.
    void showWindow()
    {
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        QApplication::processEvents();
    }

    template <typename T>
    T *find(const char *name) const
    {
        return window_->findChild<T *>(QString::fromLatin1(name));
    }

    TPelldrakeCDSForm &window() { return *window_; }

    FakeDialogs dialogs_;
    TempDir home_;
    TestSession session_;
    std::unique_ptr<ScopedCurrentDir> cwd_;
    std::unique_ptr<TPelldrakeCDSForm> window_;
};

} // namespace pelldrake::test
