// The program icon compiled into the program, and its link to the installed
// menu entry.
#include "shell/aboutbox.h"
#include "shell/program_icon.h"
#include "temp_dirs.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <gtest/gtest.h>

namespace {

TEST(ProgramIcon, EverySizeIsCompiledInAndDrawsAtItsSize)
{
    const QIcon icon = pelldrake::programIcon();
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        SCOPED_TRACE(size);
        // A wrong resource path still lists the size but draws nothing.
        const QImage image = icon.pixmap(QSize(size, size)).toImage();
        ASSERT_FALSE(image.isNull());
        EXPECT_EQ(image.size(), QSize(size, size));
        EXPECT_GT(qAlpha(image.pixel(size / 2, size / 2)), 0);
    }
}

TEST(ProgramIcon, WindowsAndTheAboutWindowShowIt)
{
    // Every window without an icon of its own takes the application's.
    EXPECT_FALSE(QGuiApplication::windowIcon().pixmap(32).isNull());

    pelldrake::test::TempDir dir;
    pelldrake::test::ScopedCurrentDir cwd(dir.path());
    pelldrake::TAboutBox box;
    EXPECT_FALSE(box.windowIcon().pixmap(32).isNull());
    auto *picture = box.findChild<QLabel *>(QStringLiteral("ProgramIcon"));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->size(), QSize(65, 57));
    EXPECT_FALSE(picture->pixmap().isNull());
}

TEST(ProgramIcon, TheDesktopFindsTheMenuEntryAndIconByTheProgramsName)
{
    // Wayland compositors and task bars match windows to the menu entry (and
    // so to its icon) by this name; it must be the installed entry's.
    const QString id = QGuiApplication::desktopFileName();
    const QString packaging = QStringLiteral(PELLDRAKE_SOURCE_DIR "/packaging/");
    EXPECT_TRUE(QFileInfo::exists(packaging + id + QStringLiteral(".desktop"))) << id.toStdString();
    EXPECT_TRUE(QFileInfo::exists(packaging + id + QStringLiteral(".metainfo.xml"))) << id.toStdString();
}

} // namespace
