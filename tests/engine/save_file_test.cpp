// The writer every replaced file goes through, and what a full disk does to it.
#include "engine/alias_registry.h"
#include "engine/engine_error.h"
#include "engine/save_file.h"

#include "small_disk.h"
#include "file_bytes.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace pelldrake::engine {
namespace {

using pelldrake::test::SmallDisk;
using pelldrake::test::fileBytes;
using pelldrake::test::writeBytes;

const QString kNoSpace = QStringLiteral("No space left on device");

// What is left in a directory besides the filler: no temporary file may stay.
QStringList entries(const QString &dir)
{
    QStringList names = QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
    names.removeAll(QStringLiteral(".filler"));
    return names;
}

TEST(SaveFile, ReplacesTheFileOnCommitAndNothingWithout)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("a.cfg"));
    writeBytes(path, "earlier\r\n");
    {
        SaveFile file(path);
        ASSERT_TRUE(file.open());
        ASSERT_TRUE(file.write("dropped"));
    } // dropped without commit()
    EXPECT_EQ(fileBytes(path), QByteArray("earlier\r\n"));

    QString error;
    ASSERT_TRUE(saveWholeFile(path, "later\r\n", &error)) << error.toStdString();
    EXPECT_EQ(fileBytes(path), QByteArray("later\r\n"));
    EXPECT_EQ(entries(dir.path()), QStringList{QStringLiteral("a.cfg")});

    EXPECT_FALSE(saveWholeFile(dir.filePath(QStringLiteral("no/such/dir/a.cfg")), "x", &error));
    EXPECT_FALSE(error.isEmpty());
}

// The disk full before the first byte, and full part-way through a write
// larger than the space left: the earlier file stays byte for byte and the
// system's reason is given.
TEST(SaveFile, FullDiskKeepsTheEarlierFileAndSaysWhy)
{
    for (const qint64 leave : {qint64(0), qint64(8192)}) {
        SCOPED_TRACE(leave);
        SmallDisk disk;
        if (!disk.mounted())
            GTEST_SKIP() << disk.skipReason();
        const QString path = disk.filePath(QStringLiteral("Pelldrake.cfg"));
        const QByteArray earlier("AliasCombo=Shop\r\nListBox1=orders\r\n");
        writeBytes(path, earlier);
        disk.fill(leave);

        QString error;
        EXPECT_FALSE(saveWholeFile(path, QByteArray(20000, 'x'), &error));
        EXPECT_EQ(error, kNoSpace);
        EXPECT_EQ(fileBytes(path), earlier);
        EXPECT_EQ(entries(disk.path()), QStringList{QStringLiteral("Pelldrake.cfg")});

        // Many small writes: the one that meets the full disk fails, and so does the commit.
        SaveFile file(path);
        ASSERT_TRUE(file.open());
        bool allWritten = true;
        for (int i = 0; i < 400; ++i)
            allWritten = file.write(QByteArray(100, 'y')) && allWritten;
        EXPECT_FALSE(allWritten);
        EXPECT_FALSE(file.commit());
        EXPECT_EQ(file.errorString(), kNoSpace);
        EXPECT_EQ(fileBytes(path), earlier);
        EXPECT_EQ(entries(disk.path()), QStringList{QStringLiteral("Pelldrake.cfg")});
    }
}

TEST(SaveFile, AliasRegistryOnAFullDiskIsKeptAndTheErrorSaysWhy)
{
    SmallDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << disk.skipReason();
    AliasRegistry registry(disk.filePath(QStringLiteral("aliases.ini")));
    AliasDef shop;
    shop.name = QStringLiteral("Shop");
    shop.driver = QStringLiteral("SQLITE");
    shop.path = QStringLiteral("/data/shop.sqlite");
    registry.add(shop);
    const QByteArray earlier = fileBytes(registry.iniPath());
    disk.fill();

    AliasDef other = shop;
    other.name = QStringLiteral("Other");
    try {
        registry.add(other);
        ADD_FAILURE() << "adding an alias on a full disk reported success";
    } catch (const EngineError &e) {
        EXPECT_TRUE(e.message().endsWith(kNoSpace)) << e.message().toStdString();
    }
    EXPECT_EQ(fileBytes(registry.iniPath()), earlier);
    EXPECT_EQ(registry.names(), QStringList{QStringLiteral("Shop")});
}

} // namespace
} // namespace pelldrake::engine
