// The dump file: names, the record blocks, and how they read back.
#include "maintenance/dump_format.h"

#include "temp_dirs.h"

#include <QFile>
#include <gtest/gtest.h>

using namespace pelldrake::maintenance;
using pelldrake::test::TempDir;

namespace {

// Markers as <R>, fields as NAME=value with (null) for null.
QStringList readBack(const QByteArray &bytes)
{
    TempDir dir;
    const QString path = dir.filePath(QStringLiteral("d.txt"));
    {
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    LineReader in(path);
    EXPECT_TRUE(in.open());
    DumpReader reader(in);
    QStringList items;
    for (auto item = reader.next(); item != DumpReader::Item::End; item = reader.next()) {
        if (item == DumpReader::Item::Record)
            items << QStringLiteral("<R>");
        else
            items << reader.name() + QLatin1Char('=') + (reader.isNull() ? QStringLiteral("(null)") : reader.value());
    }
    return items;
}

TEST(DumpFormat, FileNameJoinsAliasAndTableWithFullStopsAsUnderscores)
{
    EXPECT_EQ(dumpFileName(QStringLiteral("SALES"), QStringLiteral("ORDERS.DB")), QStringLiteral("SALES_ORDERS_DB.txt"));
    EXPECT_EQ(dumpFileName(QStringLiteral("my.alias"), QStringLiteral("dbo.CUSTOMER")),
              QStringLiteral("my_alias_dbo_CUSTOMER.txt"));
    // A name can never reach outside the dump folder.
    EXPECT_EQ(dumpFileName(QStringLiteral("A"), QStringLiteral("../x/y\\z")), QStringLiteral("A____x_y_z.txt"));
}

TEST(DumpFormat, WriterMarksLineBreaksAndEmptyValues)
{
    TempDir dir;
    const QString path = dir.filePath(QStringLiteral("d.txt"));
    LineWriter out(path);
    ASSERT_TRUE(out.open());
    DumpWriter writer(out, {QStringLiteral("NAME"), QStringLiteral("NOTE"), QStringLiteral("E")});
    writer.beginRecord();
    writer.writeValue(0, u"x=y");
    writer.writeValue(1, u"a\nb=c\r\n\n<<RECORD");
    writer.writeValue(2, u"");
    writer.writeNull(2);
    ASSERT_TRUE(out.commit());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("<<RECORD\r\nNAME=x=y\r\nNOTE=a\r\n<<+b=c\r\r\n<<+\r\n<<+<<RECORD\r\n"
                                      "E=\r\n<<EMPTY\r\nE=\r\n"));
}

TEST(DumpFormat, ReaderJoinsFurtherLinesAndTellsEmptyFromNull)
{
    const QStringList items = readBack("<<RECORD\r\nNAME=x=y\r\nNOTE=a\r\n<<+b=c\r\r\n<<+\r\n<<+<<RECORD\r\n"
                                       "E=\r\n<<EMPTY\r\nE=\r\n");
    EXPECT_EQ(items, (QStringList{QStringLiteral("<R>"), QStringLiteral("NAME=x=y"),
                                  QStringLiteral("NOTE=a\nb=c\r\n\n<<RECORD"), QStringLiteral("E="),
                                  QStringLiteral("E=(null)")}));
}

TEST(DumpFormat, ReaderSkipsWhatIsNoFieldLine)
{
    // A marker with a trailing space, a line without "=", empty lines, and
    // further lines or empty markers with no field line before them.
    const QStringList items = readBack("<<+stray\n<<EMPTY\n<<RECORD \nno equals\n\nname=Ann\n<<RECORD\n");
    EXPECT_EQ(items, (QStringList{QStringLiteral("name=Ann"), QStringLiteral("<R>")}));
}

TEST(DumpFormat, ReaderTakesBareLineFeedsAndALastLineWithoutBreak)
{
    EXPECT_EQ(readBack("<<RECORD\nA=1\nB=two"),
              (QStringList{QStringLiteral("<R>"), QStringLiteral("A=1"), QStringLiteral("B=two")}));
    EXPECT_EQ(readBack("<<RECORD\r\n"), QStringList{QStringLiteral("<R>")});
}

} // namespace
