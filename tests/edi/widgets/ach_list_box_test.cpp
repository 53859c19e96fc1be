#include "edi/widgets/ach_list_box.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

using pelldrake::edi::TlynEDIFromACHListBox;

namespace {

const QString kSamples = QStringLiteral(PELLDRAKE_SOURCE_DIR "/samples/ach/");

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

TEST(FromACHListBox, ShowsTheRecordsThenThePiecesAndSavesTheText)
{
    TlynEDIFromACHListBox box;
    box.loadACHFile(kSamples + QStringLiteral("ctx_payment.ach"));
    ASSERT_EQ(box.count(), 12);
    EXPECT_EQ(box.count(), static_cast<int>(box.component().lines().size()));
    EXPECT_TRUE(box.item(0)->text().startsWith(QLatin1Char('1')));   // file header record
    EXPECT_EQ(box.item(0)->text().size(), 94);

    box.extractEDI();
    ASSERT_EQ(box.count(), 5);
    for (int i = 0; i < box.count(); ++i)
        EXPECT_EQ(box.item(i)->text().toStdString(), box.component().lines()[static_cast<size_t>(i)]);

    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("payment.edi"));
    ASSERT_TRUE(box.saveEDIData(out));
    EXPECT_EQ(readAll(out), readAll(kSamples + QStringLiteral("ctx_payment.edi")));
    EXPECT_FALSE(box.saveEDIData(dir.filePath(QStringLiteral("no/such/dir/x.edi"))));
}

TEST(FromACHListBox, AMissingFileLeavesNoStaleRecordsAndRefreshFollowsTheComponent)
{
    TlynEDIFromACHListBox box;
    box.loadACHFile(kSamples + QStringLiteral("ctx_payment.ach"));
    ASSERT_GT(box.count(), 0);
    box.loadACHFile(kSamples + QStringLiteral("missing.ach"));
    EXPECT_EQ(box.count(), 0);

    box.component().lines() = {"first", std::string("\xE9t\xE9", 3)};
    box.refresh();
    ASSERT_EQ(box.count(), 2);
    EXPECT_EQ(box.item(1)->text(), QString::fromLatin1("\xE9t\xE9"));   // 8-bit bytes shown one by one
}

} // namespace
