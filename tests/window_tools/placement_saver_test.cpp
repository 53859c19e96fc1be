// The window placement component: its store's values and types, what a
// restore applies in each case, and the main window's splitters kept with it.
#include "fake_dialogs.h"
#include "small_disk.h"
#include "file_bytes.h"
#include "temp_dirs.h"
#include "test_session.h"

#include "browser/mainwindow.h"
#include "window_tools/form_placement_saver.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSplitter>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

using namespace pelldrake;
using namespace pelldrake::test;

namespace {

const QString kGroup = QStringLiteral("Software/CompanyName/ProgramName/Default");

class PlacementTest : public ::testing::Test {
protected:
    QString store() const { return dir_.filePath(QStringLiteral("placement.ini")); }
    std::unique_ptr<TacFormPlacementSaver> saverOn(QWidget &form)
    {
        auto saver = std::make_unique<TacFormPlacementSaver>(&form);
        saver->setStoreFileName(store());
        return saver;
    }
    void writeValues(const QVariantMap &values)
    {
        QSettings s(store(), QSettings::IniFormat);
        s.beginGroup(kGroup);
        for (auto it = values.begin(); it != values.end(); ++it)
            s.setValue(it.key(), it.value());
    }
    static QVariantMap normal(int left, int top)
    {
        return {{"Left", left}, {"Top", top}, {"Width", 500}, {"Height", 400},
                {"WindowState", QByteArray(1, '\0')}, {"Topmost", 0}};
    }
    TempDir dir_;
};

} // namespace

TEST_F(PlacementTest, OwnerAndKeyRules)
{
    QObject notAWidget;
    try {
        TacFormPlacementSaver saver(&notAWidget);
        FAIL() << "created on a plain object";
    } catch (const InvalidOperation &e) {
        EXPECT_STREQ(e.what(), "Owner must be TWinControl or its descendant!");
    }
    QWidget form;
    TacFormPlacementSaver saver(&form);
    EXPECT_TRUE(saver.Enabled);
    EXPECT_FALSE(saver.FlickerFreeMaximize);
    EXPECT_EQ(saver.RegLocation, rlCurrentUser);
    EXPECT_TRUE(saver.RestoreFormSize);
    EXPECT_EQ(saver.Options, TacRegSaverOptions(saveOnClose));
    EXPECT_FALSE(saver.MaximizeIfNoInfoFound);
    EXPECT_EQ(saver.RegKey(), QStringLiteral("Software\\CompanyName\\ProgramName\\Default"));
    EXPECT_FALSE(saver.IsStoreRegKey());
    saver.SetRegKey(QStringLiteral("\\\\Software\\Me\\App\\\\"));
    EXPECT_EQ(saver.RegKey(), QStringLiteral("Software\\Me\\App\\"));
    EXPECT_TRUE(saver.IsStoreRegKey());
}

TEST_F(PlacementTest, SaveWritesTheSixValuesWithTheirTypesOnClose)
{
    QWidget form;
    auto saver = saverOn(form);
    form.move(40, 30);
    form.resize(500, 400);
    QCloseEvent close;
    QApplication::sendEvent(&form, &close);

    QSettings s(store(), QSettings::IniFormat);
    s.beginGroup(kGroup);
    EXPECT_EQ(s.childKeys().size(), 6);
    EXPECT_EQ(s.value("Left").toInt(), 40);
    EXPECT_EQ(s.value("Top").toInt(), 30);
    EXPECT_EQ(s.value("Width").toInt(), 500);
    EXPECT_EQ(s.value("Height").toInt(), 400);
    EXPECT_EQ(s.value("WindowState").toByteArray(), QByteArray(1, '\0'));
    EXPECT_EQ(s.value("Topmost").toInt(), 0);

    // Disabled, it saves nothing.
    QFile::remove(store());
    saver->Enabled = false;
    QApplication::sendEvent(&form, &close);
    EXPECT_FALSE(QFile::exists(store()));
}

TEST_F(PlacementTest, RestoreCorrectsTopButNotLeftAndHonoursRestoreFormSize)
{
    writeValues(normal(-20, -20));
    QWidget form;
    form.resize(300, 200);
    auto saver = saverOn(form);
    ASSERT_TRUE(saver->Load());
    EXPECT_EQ(form.pos(), QPoint(-20, 0));
    EXPECT_EQ(form.size(), QSize(500, 400));

    QWidget other;
    other.resize(300, 200);
    auto positionOnly = saverOn(other);
    positionOnly->RestoreFormSize = false;
    ASSERT_TRUE(positionOnly->Load());
    EXPECT_EQ(other.pos(), QPoint(-20, 0));
    EXPECT_EQ(other.size(), QSize(300, 200));
}

TEST_F(PlacementTest, MaximisedStateIsRestoredWithoutItsBounds)
{
    QVariantMap values = normal(7, 8);
    values["WindowState"] = QByteArray(1, '\x02');
    writeValues(values);
    QWidget form;
    form.move(100, 100);
    auto saver = saverOn(form);
    ASSERT_TRUE(saver->Load());
    EXPECT_TRUE(form.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(form.pos(), QPoint(100, 100));
}

TEST_F(PlacementTest, MissingValuesTakeTheNotFoundPath)
{
    // A key with the state but no "Left": the state is applied, not the bounds.
    writeValues({{"WindowState", QByteArray(1, '\x02')}});
    QWidget form;
    form.move(100, 100);
    auto saver = saverOn(form);
    int notFound = 0, loaded = 0;
    saver->OnRegKeyNotFound = [&](QObject *) { ++notFound; };
    saver->OnLoadSettings = [&](QObject *, QSettings &) { ++loaded; };
    EXPECT_FALSE(saver->Load());
    EXPECT_TRUE(form.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(form.pos(), QPoint(100, 100));
    EXPECT_EQ(notFound, 1);
    EXPECT_EQ(loaded, 0);

    // No key at all: maximised when asked to, nothing created by looking.
    QFile::remove(store());
    QWidget fresh;
    auto first = saverOn(fresh);
    first->MaximizeIfNoInfoFound = true;
    EXPECT_FALSE(first->Load());
    EXPECT_TRUE(fresh.windowState() & Qt::WindowMaximized);
    EXPECT_FALSE(QFile::exists(store()));
}

TEST_F(PlacementTest, SettingsEventsSeeTheOpenStoreAndTheirErrorsAreIgnored)
{
    QWidget form;
    auto saver = saverOn(form);
    saver->OnSaveSettings = [](QObject *, QSettings &s) {
        s.setValue("Extra", 42);
        throw std::runtime_error("ignored");
    };
    saver->Save();
    int extra = 0;
    saver->OnLoadSettings = [&](QObject *, QSettings &s) { extra = s.value("Extra").toInt(); };
    EXPECT_TRUE(saver->Load());
    EXPECT_EQ(extra, 42);
}

TEST_F(PlacementTest, AStoreThatCannotBeWrittenKeepsTheOldFileWhole)
{
    // Root writes into any folder whatever its permissions, so as root the
    // folder is a small disk mounted read-only instead.
    SmallDisk disk;
    const bool asRoot = geteuid() == 0;
    if (asRoot && !disk.mounted())
        GTEST_SKIP() << disk.skipReason();
    const QString path = asRoot ? disk.filePath(QStringLiteral("placement.ini")) : store();
    QWidget form;
    form.move(1, 2);
    TacFormPlacementSaver saver(&form);
    saver.setStoreFileName(path);
    saver.Save();
    const QByteArray before = fileBytes(path);
    ASSERT_FALSE(before.isEmpty());

    // The folder refuses new files: the temporary file cannot be made.
    if (asRoot)
        ASSERT_EQ(::mount("tmpfs", QFile::encodeName(disk.path()).constData(), "tmpfs",
                          MS_REMOUNT | MS_RDONLY, nullptr), 0) << std::strerror(errno);
    else
        QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::ExeOwner);
    form.move(300, 300);
    saver.Save();
    if (!asRoot)
        QFile::setPermissions(dir_.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(fileBytes(path), before);
    EXPECT_EQ(saver.saveError(), asRoot ? QStringLiteral("Read-only file system") : QStringLiteral("Permission denied"));
}

// A full disk, before the first byte and part-way through a store larger
// than the space left: the earlier file stays byte for byte, nothing is left
// beside it, and the system's reason is kept. With room again it saves.
TEST_F(PlacementTest, AFullDiskKeepsTheOldStoreWholeAndSaysWhy)
{
    struct Case {
        qint64 leave;
        int extra; // characters of a further value written by OnSaveSettings
    };
    for (const Case c : {Case{0, 0}, Case{8192, 20000}}) {
        SCOPED_TRACE(c.leave);
        SmallDisk disk;
        if (!disk.mounted())
            GTEST_SKIP() << disk.skipReason();
        const QString path = disk.filePath(QStringLiteral("placement.ini"));
        QWidget form;
        form.move(10, 20);
        TacFormPlacementSaver saver(&form);
        saver.setStoreFileName(path);
        saver.Save();
        ASSERT_TRUE(saver.saveError().isEmpty()) << saver.saveError().toStdString();
        const QByteArray before = fileBytes(path);
        ASSERT_TRUE(before.contains("Left=10"));

        disk.fill(c.leave);
        form.move(300, 300);
        saver.OnSaveSettings = [&c](QObject *, QSettings &s) {
            if (c.extra > 0)
                s.setValue(QStringLiteral("Notes"), QString(c.extra, QLatin1Char('n')));
        };
        saver.Save();
        EXPECT_EQ(fileBytes(path), before);
        EXPECT_EQ(saver.saveError(), QStringLiteral("No space left on device"));
        EXPECT_EQ(QDir(disk.path()).entryList(QDir::Files | QDir::Hidden),
                  (QStringList{QStringLiteral(".filler"), QStringLiteral("placement.ini")}));

        QFile::remove(disk.filePath(QStringLiteral(".filler")));
        saver.Save();
        EXPECT_TRUE(saver.saveError().isEmpty()) << saver.saveError().toStdString();
        QWidget next;
        TacFormPlacementSaver reader(&next);
        reader.setStoreFileName(path);
        int notes = -1;
        reader.OnLoadSettings = [&](QObject *, QSettings &s) { notes = s.value(QStringLiteral("Notes")).toString().size(); };
        ASSERT_TRUE(reader.Load());
        EXPECT_EQ(next.pos(), QPoint(300, 300));
        EXPECT_EQ(notes, c.extra);
    }
}

// What else the store holds, other groups among it, is kept by a save; a
// line that is not a value does not stop it.
TEST_F(PlacementTest, SaveKeepsTheStoresOtherValues)
{
    {
        QFile file(store());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Other]\nNotes=" + QByteArray(20000, 'n') + "\nList=a, b\nnot a value\n");
    }
    QWidget form;
    form.move(70, 80);
    auto saver = saverOn(form);
    saver->Save();
    EXPECT_TRUE(saver->saveError().isEmpty()) << saver->saveError().toStdString();
    QSettings s(store(), QSettings::IniFormat);
    EXPECT_EQ(s.value("Other/Notes").toString(), QString(20000, QLatin1Char('n')));
    EXPECT_EQ(s.value("Other/List").toStringList(), (QStringList{"a", "b"}));
    EXPECT_EQ(s.value(kGroup + "/Left").toInt(), 70);
}

TEST_F(PlacementTest, TopmostChangesWithoutMovingTheWindow)
{
    QWidget form;
    auto saver = saverOn(form);
    form.setGeometry(50, 60, 320, 240);
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    const QRect before = form.geometry();
    saver->SetTopmost(true);
    EXPECT_TRUE(saver->GetTopmost());
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.geometry(), before);
    saver->Save();
    QSettings s(store(), QSettings::IniFormat);
    EXPECT_EQ(s.value(kGroup + "/Topmost").toInt(), 1);
}

// The main window: its placement and splitter positions survive a restart.
class MainWindowPlacementTest : public ::testing::Test {
protected:
    FakeDialogs dialogs_;
    TestSession session_;
};

TEST_F(MainWindowPlacementTest, PlacementAndSplittersSurviveARestart)
{
    ScopedCurrentDir cwd(session_.dir().path());
    {
        TPelldrakeCDSForm window(&session_.session());
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        window.move(33, 44);
        window.resize(800, 700);
        QApplication::processEvents();
        const QList<int> panes = window.paneSplitter()->sizes();
        window.paneSplitter()->setSizes({400, panes.value(0) + panes.value(1) - 400});
        window.pane1().listSplitter->setSizes({150, 640});
        window.setGridHeight(window.pane1(), 150);
        QApplication::processEvents();
        EXPECT_EQ(window.pane1().gridSplitter->sizes().value(0), 150);
        window.close();
    }
    TPelldrakeCDSForm window(&session_.session());
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QApplication::processEvents();
    EXPECT_EQ(window.pos(), QPoint(33, 44));
    EXPECT_EQ(window.size(), QSize(800, 700));
    EXPECT_EQ(window.paneSplitter()->sizes().value(0), 400);
    EXPECT_EQ(window.pane1().listSplitter->sizes().value(0), 150);
    EXPECT_EQ(window.pane1().gridSplitter->sizes().value(0), 150);
}
