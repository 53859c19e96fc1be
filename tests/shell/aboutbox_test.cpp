#include "shell/aboutbox.h"
#include "temp_dirs.h"

#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using pelldrake::TAboutBox;
using pelldrake::test::ScopedCurrentDir;
using pelldrake::test::TempDir;

namespace {

QString labelText(const QWidget &w, const char *name)
{
    auto *label = w.findChild<QLabel *>(QString::fromLatin1(name));
    return label ? label->text() : QStringLiteral("<missing>");
}

} // namespace

TEST(AboutBoxTest, ShowsProductVersionAndItsControls)
{
    TempDir dir;
    ScopedCurrentDir cwd(dir.path());
    TAboutBox box;
    EXPECT_EQ(box.windowTitle(), QStringLiteral("About"));
    EXPECT_EQ(box.size(), QSize(298, 352));
    EXPECT_EQ(labelText(box, "ProductName"), QStringLiteral("Quenfold/Pelldrake"));
    EXPECT_EQ(labelText(box, "Version"), QStringLiteral("Version 2.2"));
    EXPECT_FALSE(labelText(box, "Copyright").isEmpty());
    EXPECT_EQ(labelText(box, "EmailLabel"), TAboutBox::emailAddress());
    EXPECT_EQ(labelText(box, "WebLabel"), TAboutBox::webAddress());
    auto *email = box.findChild<QLabel *>(QStringLiteral("EmailLabel"));
    EXPECT_TRUE(email->font().bold());
    EXPECT_TRUE(email->font().underline());
    EXPECT_EQ(email->palette().color(QPalette::WindowText), QColor(Qt::red));
    EXPECT_EQ(email->cursor().shape(), Qt::BusyCursor);
    auto *ok = box.findChild<QPushButton *>(QStringLiteral("OKButton"));
    ASSERT_NE(ok, nullptr);
    EXPECT_TRUE(ok->isDefault());
    EXPECT_TRUE(box.licenseText()->isReadOnly());
    EXPECT_EQ(box.licenseText()->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
}

TEST(AboutBoxTest, EveryLabelShowsItsWholeText)
{
    TempDir dir;
    ScopedCurrentDir cwd(dir.path());
    TAboutBox box;
    box.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&box));
    for (QLabel *label : box.findChildren<QLabel *>()) {
        if (label->wordWrap() || label->text().isEmpty())
            continue;
        EXPECT_GE(label->width(), label->sizeHint().width()) << label->text().toStdString();
    }
}

TEST(AboutBoxTest, LoadsLicenseFromTheCurrentDirectoryWhenPresent)
{
    TempDir dir;
    ScopedCurrentDir cwd(dir.path());
    {
        TAboutBox box;
        EXPECT_TRUE(box.licenseText()->toPlainText().isEmpty()); // missing file is no error
    }
    QFile file(dir.filePath(QStringLiteral("license.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Licensed to Example Corp.\r\nSeat count: 5\r\n");
    file.close();
    {
        TAboutBox box;
        EXPECT_EQ(box.licenseText()->toPlainText(),
                  QStringLiteral("Licensed to Example Corp.\nSeat count: 5"));
    }
    // An 8-bit file that is not UTF-8 still shows its characters.
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("Gr\xfc\xdf" "e\n");
    file.close();
    TAboutBox box;
    EXPECT_EQ(box.licenseText()->toPlainText(), QString::fromUtf8("Grüße"));
}

TEST(AboutBoxTest, AddressLabelsOpenThroughTheHookAndFailuresAreIgnored)
{
    QList<QUrl> opened;
    auto previous = TAboutBox::setUrlOpener([&](const QUrl &url) {
        opened << url;
        return false; // the system refuses; the window must not care
    });
    {
        TAboutBox box;
        QTest::mouseClick(box.findChild<QLabel *>(QStringLiteral("EmailLabel")), Qt::LeftButton);
        QTest::mouseClick(box.findChild<QLabel *>(QStringLiteral("WebLabel")), Qt::LeftButton);
    }
    TAboutBox::setUrlOpener(previous);
    ASSERT_EQ(opened.size(), 2);
    EXPECT_EQ(opened[0], QUrl(QStringLiteral("mailto:") + TAboutBox::emailAddress()));
    EXPECT_EQ(opened[1], QUrl(TAboutBox::webAddress()));
}
