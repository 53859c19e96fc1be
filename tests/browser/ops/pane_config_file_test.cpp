#include "browser/pane_config_file.h"
#include "browser/filter_expression.h"

#include "engine/table.h"
#include "browser_fixture.h"
#include "small_disk.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace pelldrake;
using pelldrake::test::BrowserTest;

namespace {

QString writeRaw(const QTemporaryDir &dir, const QByteArray &bytes)
{
    const QString path = dir.filePath(QStringLiteral("Pelldrake.cfg"));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    return path;
}

QList<PaneConfigEntry> readAll(const QString &path)
{
    QList<PaneConfigEntry> out;
    PaneConfigReader reader(path);
    PaneConfigEntry e;
    while (reader.next(e))
        out.append(e);
    return out;
}

} // namespace

TEST(PaneConfigFile, ReadsCrLfAndLfLinesAndALastLineWithoutBreak)
{
    QTemporaryDir dir;
    const QString path = writeRaw(dir, "AliasCombo=Sales\r\nuseExtensions=true\nListBox1=orders.db");
    const auto entries = readAll(path);
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0].key, "AliasCombo");
    EXPECT_EQ(entries[0].value, "Sales");
    EXPECT_EQ(entries[1].key, "useExtensions");
    EXPECT_EQ(entries[1].value, "true");
    EXPECT_EQ(entries[2].key, "ListBox1");
    EXPECT_EQ(entries[2].value, "orders.db");
}

TEST(PaneConfigFile, SkipsEmptyLinesAndLinesWithoutEqualsAndKeepsLaterEquals)
{
    QTemporaryDir dir;
    const QString path = writeRaw(dir, "\r\nno equals here\r\nFieldNameCombo=\r\nListBox1=a=b==c\r\n=orphan\r\n");
    const auto entries = readAll(path);
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0].key, "FieldNameCombo");
    EXPECT_TRUE(entries[0].value.isEmpty());
    EXPECT_EQ(entries[1].value, "a=b==c");
    EXPECT_TRUE(entries[2].key.isEmpty());
    EXPECT_EQ(entries[2].value, "orphan");
}

TEST(PaneConfigFile, MissingFileIsNotOpenAndYieldsNothing)
{
    QTemporaryDir dir;
    PaneConfigReader reader(dir.filePath(QStringLiteral("absent.cfg")));
    EXPECT_FALSE(reader.isOpen());
    PaneConfigEntry e;
    EXPECT_FALSE(reader.next(e));
}

TEST(PaneConfigFile, WritesCrLfAndRoundTripsLongValues)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Pelldrake2.cfg"));
    const QString longName = QStringLiteral("public.") + QString(300, QLatin1Char('t'));
    ASSERT_TRUE(writePaneConfig(path, {{"AliasCombo2", "Sales"}, {"ListBox2", longName}, {"TypeComboBox2", ""}}));

    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("AliasCombo2=Sales\r\nListBox2=") + longName.toUtf8()
                               + "\r\nTypeComboBox2=\r\n");

    const auto entries = readAll(path);
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[1].value, longName);
}

TEST(PaneConfigFile, ALineBreakInAValueCannotForgeAnotherLine)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Pelldrake.cfg"));
    ASSERT_TRUE(writePaneConfig(path, {{"ListBox1", "odd\r\nAliasCombo=Elsewhere"}}));
    const auto entries = readAll(path);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].key, "ListBox1");
}

TEST(PaneConfigFile, FullDiskKeepsTheEarlierFile)
{
    test::SmallDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.skipReason();
    const QString path = disk.filePath(QStringLiteral("Pelldrake.cfg"));
    ASSERT_TRUE(writePaneConfig(path, {{"AliasCombo", "Shop"}, {"ListBox1", "customers"}}));
    disk.fill();
    EXPECT_FALSE(writePaneConfig(path, {{"AliasCombo", "Other"}, {"ListBox1", "parts"}}));
    const auto entries = readAll(path);
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].value, "Shop");
    EXPECT_EQ(entries[1].value, "customers");
}

// Closing the window on a full disk: both configuration files keep what they
// held and the user is told why this run's settings were not kept.
TEST_F(BrowserTest, ClosingOnAFullDiskKeepsTheConfigurationAndSaysWhy)
{
    test::SmallDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.skipReason();
    const QByteArray earlier1("AliasCombo=Shop\r\nListBox1=customers\r\n");
    const QByteArray earlier2("AliasCombo2=Other\r\n");
    {
        test::ScopedCurrentDir startHere(disk.path());
        const auto write = [&](const QString &name, const QByteArray &bytes) {
            QFile f(disk.filePath(name));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        };
        write(QStringLiteral("Pelldrake.cfg"), earlier1);
        write(QStringLiteral("Pelldrake2.cfg"), earlier2);
        TPelldrakeCDSForm &form = openWindow();
        EXPECT_TRUE(form.pane1().table->active());
        chooseAlias(form.pane2(), QStringLiteral("Shop"));
        disk.fill();
        closeWindow();
    }
    const auto bytes = [&](const QString &name) {
        QFile f(disk.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    };
    EXPECT_EQ(bytes(QStringLiteral("Pelldrake.cfg")), earlier1);
    EXPECT_EQ(bytes(QStringLiteral("Pelldrake2.cfg")), earlier2);
    ASSERT_EQ(errors().size(), 2) << errors().join('|').toStdString();
    EXPECT_TRUE(errors()[0].contains(QStringLiteral("Pelldrake.cfg")));
    EXPECT_TRUE(errors()[0].endsWith(QStringLiteral("No space left on device"))) << errors()[0].toStdString();
    EXPECT_TRUE(errors()[1].contains(QStringLiteral("Pelldrake2.cfg")));
}

TEST(FilterExpression, PrefixTextDoublesApostrophes)
{
    EXPECT_EQ(prefixFilterText("CITY", "Lon"), "CITY = 'Lon*'");
    EXPECT_EQ(prefixFilterText("NAME", "O'Brien"), "NAME = 'O''Brien*'");
    EXPECT_EQ(prefixFilterText("NAME", "''"), "NAME = '''''*'");
}

TEST(FilterExpression, NamesThatAreNotPlainAreQuoted)
{
    EXPECT_EQ(prefixFilterText("first name", "A"), "\"first name\" = 'A*'");
    EXPECT_EQ(prefixFilterText("Not", "y"), "\"Not\" = 'y*'");
    EXPECT_EQ(prefixFilterText("2nd", "y"), "\"2nd\" = 'y*'");
    EXPECT_EQ(prefixFilterText("a\"b", "y"), "\"a\"\"b\" = 'y*'");
    EXPECT_EQ(prefixFilterText(QString::fromUtf8("Stra\xc3\x9f" "e_1"), "y"), QString::fromUtf8("Stra\xc3\x9f" "e_1 = 'y*'"));
}
