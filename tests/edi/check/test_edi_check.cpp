#include "edi/edi_check.h"
#include "edi/from_ach.h"
#include "edi/palette.h"
#include "edi/text_lines.h"

#include "check_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

using pelldrake::edi::Progress;
using pelldrake::edi::TlynEDICheck;
using namespace checktest;

namespace {

const char *kIsa = "ISA*00*          *00*          *ZZ*SENDER         *ZZ*RECEIVER       "
                   "*261207*0930*U*00401*000000001*0*P*>";

// A parsed file of one group with two transaction sets.
std::string twoSetFile()
{
    return std::string("126\r\n42\r\n>\r\n") + kIsa +
           "\r\n"
           "GS*PO*SENDER*RECEIVER*20261207*0930*100*X*004010\r\n"
           "ST*850*0001\r\nBEG*00*SA*4711**20261207\r\nREF*PO*4711\r\nREF*IA*77\r\nSE*5*0001\r\n"
           "ST*850*0002\r\nBEG*00*SA*4712**20261207\r\nSE*3*0002\r\n"
           "GE*2*100\r\nIEA*1*000000001\r\n";
}

struct RecordingProgress : Progress {
    int maximum = -1;
    std::vector<int> positions;
    void setMaximum(int m) override { maximum = m; }
    void setPosition(int p) override { positions.push_back(p); }
};

// A checker whose separator was set, as parseEDIData does.
struct Loaded {
    TempDir dir;
    TlynEDICheck check;
    explicit Loaded(const std::string &file = twoSetFile())
    {
        writeFile("group.edi", file);
        check.elementSeparator = "*";
        check.loadEDIData("group.edi");
    }
};

std::string set(const std::vector<std::string> &lines, const std::string &sep = "\r\n")
{
    std::string s = std::string("126\r\n42\r\n>\r\n") + kIsa + "\r\nGS*PO*A*B*20261207*0930*1*X*004010\r\n";
    for (const auto &l : lines)
        s += l + sep;
    return s + "GE*1*1\r\nIEA*1*000000001\r\n";
}

} // namespace

TEST(Checker, ConstructionCreatesTheStoreAndTheParsedDirectory)
{
    TempDir dir;
    {
        TlynEDICheck check;
        EXPECT_TRUE(fs::is_regular_file("lynEDICheck.cds"));
        EXPECT_TRUE(fs::is_directory("parsedDir"));
        EXPECT_EQ(fs::path(check.parsedDirPath), fs::current_path() / "parsedDir");
        EXPECT_TRUE(check.segmentList.empty());
        EXPECT_EQ(check.documentNumber, 0);
        EXPECT_EQ(check.elementSeparator, "");
    }
    // Both components sit on the EDI palette page, once however often registered.
    for (int i = 0; i < 2; ++i) {
        pelldrake::edi::lynEDICheck::Register();
        pelldrake::edi::lynEDIFromACH::Register();
    }
    const auto classes = pelldrake::edi::registeredComponents(pelldrake::edi::kPalettePage);
    EXPECT_EQ(std::count(classes.begin(), classes.end(), "TlynEDICheck"), 1);
    EXPECT_EQ(std::count(classes.begin(), classes.end(), "TlynEDIFromACH"), 1);

    // An existing store is kept as it is.
    writeFile("lynEDICheck.cds", "not touched");
    TlynEDICheck again;
    EXPECT_EQ(readFile("lynEDICheck.cds"), "not touched");
}

TEST(Checker, LoadsTheRecordsAndSelectsTransactionSets)
{
    Loaded l;
    TlynEDICheck &c = l.check;
    EXPECT_EQ(c.transactionSetCount, 2);
    EXPECT_EQ(c.recordCount(), 9u);   // 3 separators, ISA, GS, 2 x ST, GE, IEA
    EXPECT_EQ(c.versionCode, "004010");
    EXPECT_EQ(c.documentNumber, 1);
    EXPECT_EQ(c.transactionSetID, "850");
    ASSERT_EQ(c.segmentList.size(), 5u);
    EXPECT_EQ(c.segmentList.front(), "ST*850*0001");
    EXPECT_EQ(c.segmentList.back(), "SE*5*0001");
    EXPECT_EQ(c.segmentCount, 5);
    EXPECT_EQ(c.lookupElementValue("REF", 2, 1, "IA"), "77");

    c.documentNumber = 2;
    c.loadDocument();
    ASSERT_EQ(c.segmentList.size(), 3u);
    EXPECT_EQ(c.segmentList.front(), "ST*850*0002");
    EXPECT_EQ(c.segmentIndex, 0);
    EXPECT_EQ(c.getSESegElement(2), "0002");

    for (int bad : {0, 3, -1}) {
        c.documentNumber = bad;
        c.loadDocument();
        EXPECT_TRUE(c.segmentList.empty());
        EXPECT_EQ(c.segmentCount, 0);
    }
    // The store on disk was saved empty before loading.
    EXPECT_TRUE(fs::is_regular_file("lynEDICheck.cds"));
}

TEST(Checker, TheSetIndexFollowsEveryChangeOfTheStore)
{
    Loaded l;
    TlynEDICheck &c = l.check;
    c.documentNumber = 2;
    c.loadDocument();
    ASSERT_EQ(c.segmentList.front(), "ST*850*0002");
    // Another group: set 2 is now that group's.
    writeFile("other.edi", set({"ST*810*0007", "BIG*20261207*1", "SE*3*0007", "ST*810*0008", "SE*2*0008"}));
    c.loadEDIData("other.edi");
    c.loadDocument();
    EXPECT_EQ(c.segmentList.front(), "ST*810*0007");
    c.documentNumber = 2;
    c.loadDocument();
    EXPECT_EQ(c.segmentList.front(), "ST*810*0008");
    // Edited by hand: a set appended at the end is found, one deleted is gone.
    c.last();
    c.append();
    c.fieldByName("Type").setAsString("ST");
    c.fieldByName("Data").setAsString("ST*810*0009\nSE*2*0009");
    c.post();
    c.documentNumber = 3;
    c.loadDocument();
    EXPECT_EQ(c.segmentList.front(), "ST*810*0009");
    c.documentNumber = 1;
    c.loadDocument();
    c.deleteRecord();
    c.loadDocument();
    EXPECT_EQ(c.segmentList.front(), "ST*810*0008");
}

TEST(Checker, LongLinesAndLineBreaksAcrossReadBuffersLoadWhole)
{
    // The parsed file is read in 64 KB pieces: a CR LF or a line may straddle them.
    TempDir dir;
    for (const std::size_t pad : {std::size_t{65536 - 40}, std::size_t{65536 - 41}, std::size_t{200000}}) {
        SCOPED_TRACE(pad);
        const std::string longRef = "REF*ZZ*" + std::string(pad, 'x');
        for (const char *brk : {"\r\n", "\n", "\r"}) {
            writeFile("long.edi", set({"ST*850*0001", longRef, "SE*3*0001", "ST*850*0002", "SE*2*0002"}, brk));
            TlynEDICheck c;
            c.elementSeparator = "*";
            c.loadEDIData("long.edi");
            EXPECT_EQ(c.transactionSetCount, 2);
            ASSERT_EQ(c.segmentList.size(), 3u);
            EXPECT_EQ(c.segmentList[1], longRef);
            EXPECT_EQ(c.checkSegmentCount().text, "Segment count is correct 3");
        }
    }
    const std::vector<std::string> lines = {"a", "", "b"};
    std::string text;
    for (std::size_t i = 0; text.size() < 200000; ++i)
        text += lines[i % 3] + (i % 2 ? "\r\n" : "\r");
    writeFile("many.txt", text);
    pelldrake::edi::LineReader reader("many.txt");
    std::vector<std::string> got;
    std::string_view line;
    while (reader.next(line))
        got.emplace_back(line);
    EXPECT_EQ(got, pelldrake::edi::splitLines(text));
}

TEST(Checker, EnvelopeGettersFollowTheCurrentRecord)
{
    Loaded l;
    TlynEDICheck &c = l.check;
    // After loading, the first ST record is current.
    EXPECT_EQ(c.getSTSegElement(2), "0001");
    EXPECT_EQ(c.getSESegElement(1), "5");
    EXPECT_EQ(c.getGSSegElement(1), "PO");   // moves to the first GS
    EXPECT_EQ(c.elementCount, 9);
    EXPECT_EQ(c.getSTSegElement(1), "");     // GS is current now
    EXPECT_EQ(c.getSESegElement(1), "");
    EXPECT_EQ(c.getISASegElement(6), "SENDER         ");   // not trimmed
    EXPECT_EQ(c.getISASegElement(16), ">");
    EXPECT_EQ(c.getGESegElement(2), "100");
    EXPECT_EQ(c.getIEASegElement(2), "000000001");
    EXPECT_EQ(c.getSegmentTerminator(), "126");   // the code, not the tilde
    c.elementSeparator.clear();
    EXPECT_EQ(c.getISASegElement(6), "");
}

TEST(Checker, ProgressIsReportedSparinglyAndEndsOnTheLastLine)
{
    TempDir dir;
    std::vector<std::string> lines = {"ST*850*0001"};
    for (int i = 0; i < 5000; ++i)
        lines.push_back("PO1*" + std::to_string(i));
    lines.push_back("SE*5002*0001");
    writeFile("big.edi", set(lines));
    TlynEDICheck check;
    RecordingProgress progress;
    check.loadEDIData("big.edi", &progress);
    const int total = 5000 + 2 + 7;
    EXPECT_EQ(progress.maximum, total);
    ASSERT_FALSE(progress.positions.empty());
    EXPECT_EQ(progress.positions.front(), 0);
    EXPECT_EQ(progress.positions.back(), total - 1);
    EXPECT_LE(progress.positions.size(), 110u);
    for (size_t i = 1; i < progress.positions.size(); ++i)
        EXPECT_GT(progress.positions[i], progress.positions[i - 1]);

    TlynEDICheck quiet;   // the same without a progress bar
    quiet.loadEDIData("big.edi", nullptr);
    EXPECT_EQ(quiet.segmentCount, 5002);
}

TEST(Checker, OddLinesOfAParsedFile)
{
    // A status segment STC stays in its set (only a whole ST tag opens one);
    // an empty line and a line before the ISA extend the record before them;
    // bare LF line ends load too.
    Loaded l(std::string("126\n42\n>\nJUNK\n") + kIsa + "\nTA1*1\nGS*PO\nST*850*1\nSTC*X\n\nSE*3*1\nGE*2*1\n");
    TlynEDICheck &c = l.check;
    EXPECT_EQ(c.transactionSetCount, 1);
    c.first();
    c.next();
    c.next();
    EXPECT_EQ(c.fieldByName("Data").asString(), ">\nJUNK");
    c.next();
    EXPECT_EQ(c.fieldByName("Data").asString(), std::string(kIsa) + "\nTA1*1");
    EXPECT_EQ(c.segmentList, (std::vector<std::string>{"ST*850*1", "STC*X", "", "SE*3*1"}));
}

TEST(Checker, MissingAndShortFiles)
{
    Loaded l;
    TlynEDICheck &c = l.check;
    c.loadEDIData("no-such-file.edi");
    EXPECT_EQ(c.recordCount(), 0u);
    EXPECT_EQ(c.transactionSetCount, 2);   // members keep their values
    TlynEDICheck reopened;
    reopened.open();
    EXPECT_EQ(reopened.recordCount(), 0u);   // the saved store is empty

    writeFile("short.edi", "126\r\n42\r\n");
    EXPECT_THROW(c.loadEDIData("short.edi"), std::out_of_range);
    EXPECT_EQ(c.recordCount(), 2u);
}

TEST(ControlChecks, SegmentCount)
{
    using Verdict = pelldrake::edi::CheckResult::Verdict;
    std::vector<std::string> lines = {"ST*850*0001"};
    for (int i = 0; i < 10; ++i)
        lines.push_back("PO1*" + std::to_string(i));
    struct Case {
        std::string se01;
        Verdict verdict;
        std::string text;
    };
    for (const Case &c : std::vector<Case>{
             {"12", Verdict::Passed, "Segment count is correct 12"},
             {"0012", Verdict::Passed, "Segment count is correct 12"},
             {"11", Verdict::Failed, "ERROR:Segment count is NOT correct SECount=11 != 12"},
             {"13", Verdict::Failed, "ERROR:Segment count is NOT correct SECount=13 != 12"}}) {
        auto set12 = lines;
        set12.push_back("SE*" + c.se01 + "*0001");
        Loaded l(set(set12));
        const auto result = l.check.checkSegmentCount();
        EXPECT_EQ(result.verdict, c.verdict) << c.se01;
        EXPECT_EQ(result.text, c.text);
    }
}

TEST(ControlChecks, ControlNumbers)
{
    {
        Loaded l(set({"ST*850*0001", "BEG*00", "SE*3*0001"}));
        const auto result = l.check.checkSTCtrlNumbers();
        EXPECT_TRUE(result.passed());
        EXPECT_EQ(result.text, "ST/SE Control Numbers match 0001");
        // The cursor stays on the SE segment.
        EXPECT_EQ(l.check.segmentIndex, 2);
        EXPECT_EQ(l.check.getSegmentName(l.check.segmentIndex), "SE");
        EXPECT_EQ(l.check.getElementValue(1), "3");
    }
    {
        Loaded l(set({"ST*850*0001", "BEG*00", "SE*3*1"}));
        const auto result = l.check.checkSTCtrlNumbers();
        EXPECT_FALSE(result.passed());
        EXPECT_EQ(result.text, "ERROR: ST/SE Control Numbers do NOT match 0001 != 1");
    }
}

TEST(ControlChecks, FailuresReachTheCallerAsExceptions)
{
    TempDir dir;
    writeFile("group.edi", set({"ST*850*0001", "BEG*00", "SE*3*0001"}));
    TlynEDICheck c;   // no separator: nothing was split on this component
    c.loadEDIData("group.edi");
    EXPECT_EQ(c.checkSTCtrlNumbers().text, "ST/SE Control Numbers match ");
    try {
        c.checkSegmentCount();
        FAIL() << "no conversion error";
    } catch (const std::invalid_argument &e) {
        EXPECT_NE(std::string(e.what()).find("not a valid integer"), std::string::npos);
    }

    c.elementSeparator = "*";
    c.getGSSegElement(1);   // GS current: its one line is read as the set
    EXPECT_THROW(c.checkSegmentCount(), std::invalid_argument);

    c.documentNumber = 1;
    c.loadDocument();
    c.segmentList.pop_back();   // the list shorter than the record
    EXPECT_THROW(c.checkSTCtrlNumbers(), std::out_of_range);

    TlynEDICheck empty;
    const auto unknown = empty.checkSTCtrlNumbers();
    EXPECT_FALSE(unknown.passed());
    EXPECT_EQ(unknown.text, "ERROR: Unknown error");
}
