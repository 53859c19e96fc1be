#include "edi/edi_check.h"
#include "edi/palette.h"
#include "edi/widgets/edifact_to_xml.h"
#include "edi/widgets/progress_bar.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QStandardItemModel>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <filesystem>
#include <fstream>

using namespace pelldrake::edi;

TEST(EDIFactToXML, IsAPlainTreeViewOnTheEdiPage)
{
    lynEDIEDIFactToXML::Register();
    lynEDIEDIFactToXML::Register();   // registering twice changes nothing
    const auto classes = registeredComponents(kPalettePage);
    EXPECT_EQ(std::count(classes.begin(), classes.end(), "TlynEDIEDIFactToXML"), 1);

    QWidget owner;
    auto *tree = new TlynEDIEDIFactToXML(&owner);
    EXPECT_EQ(tree->parent(), &owner);
    QStandardItemModel model;
    auto *root = new QStandardItem("UNB");
    root->appendRow(new QStandardItem("UNH"));
    model.appendRow(root);
    tree->setModel(&model);
    tree->expandAll();
    EXPECT_TRUE(tree->isExpanded(model.index(0, 0)));
    EXPECT_EQ(tree->model()->rowCount(model.index(0, 0)), 1);
}

TEST(ProgressBarAdapter, DrivesTheBarAndSurvivesItsDeletion)
{
    auto *bar = new QProgressBar;
    ProgressBarAdapter adapter(bar);
    adapter.setMaximum(250);
    adapter.setPosition(120);
    EXPECT_EQ(bar->maximum(), 250);
    EXPECT_EQ(bar->value(), 120);
    delete bar;
    EXPECT_NO_FATAL_FAILURE(adapter.setPosition(130));
}

TEST(ProgressBarAdapter, CheckerLoadingEndsOnTheLastLine)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(dir.path().toStdString());
    {
        std::ofstream out("group.edi", std::ios::binary);
        out << "126\r\n42\r\n>\r\nISA*00\r\nGS*PO*A*B*1*1*1*X*004010\r\n";
        for (int s = 0; s < 300; ++s)
            out << "ST*850*" << s << "\r\nBEG*00\r\nSE*3*" << s << "\r\n";
        out << "GE*300*1\r\n";
    }
    QProgressBar bar;
    bar.show();
    ProgressBarAdapter adapter(&bar);
    TlynEDICheck check;
    check.loadEDIData("group.edi", &adapter);
    EXPECT_EQ(check.transactionSetCount, 300);
    EXPECT_EQ(bar.maximum(), 906);
    EXPECT_EQ(bar.value(), 905);   // left on the last line index, never reset
    std::filesystem::current_path(old);
}

int main(int argc, char **argv)
{
    // No display is needed, also when the test list is read without ctest's environment.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QStandardPaths::setTestModeEnabled(true);
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
