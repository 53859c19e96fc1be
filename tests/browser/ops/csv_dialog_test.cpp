// The CSV import dialog reads the column types in the background: the window
// stays with the user, a changed choice starts the reading again, and an
// import into a new table waits for its types.
#include "browser/csv_dialogs.h"

#include "temp_dirs.h"

#include <QComboBox>
#include <QFile>
#include <QTest>
#include <gtest/gtest.h>

using namespace pelldrake;

namespace {

// A file long enough that its type pass is still running when the dialog returns.
QString writeLongCsv(const QString &path, int records)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    QByteArray text = "id,amount,day\r\n";
    for (int i = 1; i <= records; ++i)
        text += QByteArray::number(i) + ',' + QByteArray::number(i % 1000) + ".5,2024-03-" + QByteArray::number(10 + i % 18) + "\r\n";
    f.write(text);
    return path;
}

bool waitForTypes(const CsvImportDialog &dialog)
{
    return QTest::qWaitFor([&] { return !dialog.readingTypes(); }, 60000);
}

} // namespace

TEST(CsvImportDialogTest, TypesAreReadInTheBackgroundAndAChangedChoiceReadsThemAgain)
{
    test::TempDir dir;
    const QString path = writeLongCsv(dir.filePath(QStringLiteral("long.csv")), 200000);
    ASSERT_FALSE(path.isEmpty());

    CsvImportDialog dialog(QString(), engine::Dialect::Sqlite);
    dialog.setFile(path);
    EXPECT_TRUE(dialog.readingTypes()); // the dialog came back before the pass ended
    EXPECT_TRUE(dialog.createSql().isEmpty());

    // Semicolons: one column; the reading started for commas is dropped.
    auto *delimiter = dialog.findChild<QComboBox *>(QStringLiteral("CsvImportDelimiter"));
    ASSERT_NE(delimiter, nullptr);
    delimiter->setCurrentIndex(delimiter->findData(int(';')));
    ASSERT_TRUE(waitForTypes(dialog));
    EXPECT_TRUE(dialog.createSql().contains(QStringLiteral("(\"id,amount,day\" TEXT)"))) << dialog.createSql().toStdString();

    delimiter->setCurrentIndex(delimiter->findData(int(',')));
    ASSERT_TRUE(waitForTypes(dialog));
    const QString sql = dialog.createSql();
    EXPECT_TRUE(sql.contains(QStringLiteral("INTEGER"))) << sql.toStdString();
    EXPECT_TRUE(sql.contains(QStringLiteral("DATE"))) << sql.toStdString();
}

TEST(CsvImportDialogTest, ImportIntoANewTableWaitsForItsTypesAndClosingStopsTheReading)
{
    test::TempDir dir;
    const QString path = writeLongCsv(dir.filePath(QStringLiteral("long.csv")), 200000);
    {
        CsvImportDialog dialog(QString(), engine::Dialect::Postgres);
        dialog.setFile(path);
        ASSERT_TRUE(dialog.readingTypes());
        dialog.accept();
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        ASSERT_TRUE(waitForTypes(dialog));
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_FALSE(dialog.createSql().isEmpty());
    }
    // Gone in the middle of a reading: it stops, nothing is left running.
    auto dialog = std::make_unique<CsvImportDialog>(QString(), engine::Dialect::Sqlite);
    dialog->setFile(path);
    EXPECT_TRUE(dialog->readingTypes());
    dialog.reset();
}
