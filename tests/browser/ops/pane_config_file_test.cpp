#include "browser/pane_config_file.h"
#include "browser/filter_expression.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using namespace pelldrake;

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
