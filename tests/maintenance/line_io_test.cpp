// The line writer and reader under dump, load and export.
#include "maintenance/line_io.h"

#include "small_disk.h"
#include "file_bytes.h"
#include "temp_dirs.h"

#include <QFile>
#include <gtest/gtest.h>

#include <utility>

using namespace pelldrake::maintenance;
using pelldrake::test::SmallDisk;
using pelldrake::test::fileBytes;
using pelldrake::test::writeBytes;
using pelldrake::test::TempDir;

namespace {

QList<QByteArray> readLines(const QString &path)
{
    LineReader in(path);
    EXPECT_TRUE(in.open());
    QList<QByteArray> lines;
    QByteArray line;
    while (in.readLine(line))
        lines << line;
    EXPECT_FALSE(in.failed());
    return lines;
}

TEST(LineIo, WriterEndsEveryLineWithCrLfAndWritesUtf8)
{
    TempDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    LineWriter out(path);
    ASSERT_TRUE(out.open());
    out.writeLine(u"Zoë");
    out.write(u"a");
    out.write('\t');
    out.endLine();
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(fileBytes(path), QByteArray("Zo\xC3\xAB\r\na\t\r\n"));
}

TEST(LineIo, WriterReplacesAFileOnlyWhenItCommits)
{
    TempDir dir;
    const QString path = dir.filePath(QStringLiteral("out.txt"));
    writeBytes(path, "earlier dump\r\n");
    {
        LineWriter out(path);
        ASSERT_TRUE(out.open());
        out.writeLine(u"half a dump");
        // Dropped without commit(), as when a command fails half-way.
    }
    EXPECT_EQ(fileBytes(path), QByteArray("earlier dump\r\n"));
}

TEST(LineIo, WriterReportsAFileItCannotCreate)
{
    TempDir dir;
    LineWriter out(dir.filePath(QStringLiteral("no/such/folder/out.txt")));
    EXPECT_FALSE(out.open());
    EXPECT_FALSE(out.errorString().isEmpty());
    EXPECT_FALSE(out.commit());
}

TEST(LineIo, WriterHandlesMoreThanItsBuffer)
{
    TempDir dir;
    const QString path = dir.filePath(QStringLiteral("big.txt"));
    const QString line(1000, QLatin1Char('x'));
    LineWriter out(path);
    ASSERT_TRUE(out.open());
    for (int i = 0; i < 2000; ++i)
        out.writeLine(line);
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(fileBytes(path).size(), 2000 * 1002);
}

// A small dump that fits in a buffer, and one larger than the space left:
// the earlier file stays byte for byte and the commit says why it failed.
TEST(LineIo, WriterOnAFullDiskKeepsTheEarlierFileAndSaysWhy)
{
    for (const auto &[lines, leave] : {std::pair{3, 0}, std::pair{2000, 8192}}) {
        SCOPED_TRACE(lines);
        SmallDisk disk;
        if (!disk.mounted())
            GTEST_SKIP() << disk.skipReason();
        const QString path = disk.filePath(QStringLiteral("Shop_orders.txt"));
        writeBytes(path, "ID=1\r\n");
        disk.fill(leave);
        LineWriter out(path);
        ASSERT_TRUE(out.open());
        for (int i = 0; i < lines; ++i)
            out.writeLine(QString(1000, QLatin1Char('v')));
        EXPECT_FALSE(out.commit());
        EXPECT_EQ(out.errorString(), QStringLiteral("No space left on device"));
        EXPECT_EQ(fileBytes(path), QByteArray("ID=1\r\n"));
    }
}

TEST(LineIo, ReaderTakesCrLfAndLfAndALastLineWithoutBreak)
{
    TempDir dir;
    const QString path = dir.filePath(QStringLiteral("in.txt"));
    writeBytes(path, "one\r\ntwo\n\r\nthree\r\r\nlast");
    const QList<QByteArray> expected{"one", "two", "", "three\r", "last"};
    EXPECT_EQ(readLines(path), expected);
}

TEST(LineIo, ReaderTakesLinesOfAnyLength)
{
    TempDir dir;
    const QString path = dir.filePath(QStringLiteral("long.txt"));
    // Longer than the reader's block, so a line spans several reads.
    const QByteArray longLine(700 * 1024, 'y');
    writeBytes(path, "a\r\n" + longLine + "\r\nb\r\n");
    const QList<QByteArray> lines = readLines(path);
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[1], longLine);
    EXPECT_EQ(lines[2], QByteArray("b"));
}

TEST(LineIo, ReaderOfAnEmptyFileGivesNoLine)
{
    TempDir dir;
    const QString path = dir.filePath(QStringLiteral("empty.txt"));
    writeBytes(path, "");
    EXPECT_TRUE(readLines(path).isEmpty());
    EXPECT_FALSE(LineReader(dir.filePath(QStringLiteral("missing.txt"))).open());
}

TEST(LineIo, LineTextFallsBackToLatin1ForBytesThatAreNotUtf8)
{
    EXPECT_EQ(lineText(QByteArray("Zo\xC3\xAB")), QStringLiteral(u"Zoë"));
    EXPECT_EQ(lineText(QByteArray("Zo\xEB")), QStringLiteral(u"Zoë"));
    // A replacement character written as UTF-8 is text like any other.
    EXPECT_EQ(lineText(QByteArray("\xEF\xBF\xBD")), QString(QChar::ReplacementCharacter));
}

} // namespace
