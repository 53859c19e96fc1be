#include "edi/interchange_splitter.h"
#include "edi/recv_translate_to.h"
#include "edi/work_lock.h"
#include "x12_fixture.h"
#include "../file_size_limit.h"

#include <gtest/gtest.h>

#include <algorithm>

#ifdef __linux__
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

using namespace x12test;
using pelldrake::edi::TlynEDIRecvTranslateTo;

namespace {

struct Split {
    bool ok = false;
    std::vector<fs::path> files;
    std::vector<std::vector<std::string>> groups; // lines of each group file
};

Split splitText(WorkDir &wd, const std::string &text, TlynEDIRecvTranslateTo *reader = nullptr)
{
    writeFile(wd.input() / "input.x12", text);
    TlynEDIRecvTranslateTo own;
    TlynEDIRecvTranslateTo &r = reader ? *reader : own;
    r.ediDirectory = wd.input().string();
    Split s;
    s.ok = r.parseEDIData();
    s.files = wd.groupFiles();
    for (const auto &f : s.files)
        s.groups.push_back(lines(readFile(f)));
    return s;
}

std::vector<std::string> expectedGroup(const std::vector<std::string> &segs, std::size_t from, std::size_t to,
                                       const std::string &term, const std::string &isa, const std::string &iea)
{
    std::vector<std::string> out{term, "42", ">"};
    if (!isa.empty())
        out.push_back(isa);
    for (std::size_t i = from; i < to; ++i)
        out.push_back(segs[i]);
    if (!iea.empty())
        out.push_back(iea);
    return out;
}

InterchangePlan twoGroups()
{
    InterchangePlan ic;
    ic.groups = {GroupPlan{"PO", "850", 2, {}}, GroupPlan{"IN", "810", 1, {}}};
    return ic;
}

} // namespace

class TerminatorStyles : public ::testing::TestWithParam<std::pair<Style, const char *>> {};

TEST_P(TerminatorStyles, EveryStyleGivesTheSameGroupFiles)
{
    const auto [style, termCode] = GetParam();
    WorkDir wd;
    TlynEDIRecvTranslateTo r;
    const auto ic = twoGroups();
    const auto segs = segments(ic);
    const Split s = splitText(wd, "\x01\x02TRANSPORT HDR\r\n" + render(segs, style), &r);
    ASSERT_TRUE(s.ok);
    ASSERT_EQ(s.files.size(), 2u);
    // Group 1: ISA, GS .. GE, then the interchange's IEA; group 2: the ISA
    // again, GS .. GE and no IEA.
    const std::size_t ge1 = 1 + 1 + 2 * 5 + 1;
    EXPECT_EQ(s.groups[0], expectedGroup(segs, 0, ge1, termCode, "", segs.back()));
    EXPECT_EQ(s.groups[1], expectedGroup(segs, ge1, segs.size() - 1, termCode, segs[0], ""));
    EXPECT_EQ(s.files[0].parent_path().filename(), "ACME_WIDGETCO_850");
    EXPECT_EQ(s.files[1].parent_path().filename(), "ACME_WIDGETCO_810");
    EXPECT_EQ(s.files[0].filename().string().size(), 17u + 4u);
    EXPECT_EQ(r.elementSeparator, "*");
    EXPECT_EQ(r.subElementSeparator, ">");
    // The work file holds the last group.
    EXPECT_EQ(readFile(TlynEDIRecvTranslateTo::kWorkFileName), readFile(s.files[1]));
}

INSTANTIATE_TEST_SUITE_P(Splitter, TerminatorStyles,
                         ::testing::Values(std::make_pair(Style::Tilde, "126"), std::make_pair(Style::TildeCRLF, "126"),
                                           std::make_pair(Style::TildeLF, "126"), std::make_pair(Style::CRLFOnly, "10"),
                                           std::make_pair(Style::Wrap80CRLF, "126"),
                                           std::make_pair(Style::Wrap80LF, "126")));

TEST(Splitter, OneAndThreeGroupsAndTrailingBlanks)
{
    {
        WorkDir wd;
        const auto segs = segments(InterchangePlan{});
        const Split s = splitText(wd, render(segs, Style::TildeCRLF) + "   \r\n\r\n  \x1a");
        ASSERT_TRUE(s.ok);
        ASSERT_EQ(s.groups.size(), 1u);
        EXPECT_EQ(s.groups[0], expectedGroup(segs, 0, segs.size() - 1, "126", "", ""));
    }
    {
        WorkDir wd;
        InterchangePlan ic;
        ic.groups = {GroupPlan{"PO", "850", 1, {}}, GroupPlan{"PO", "850", 3, {}}, GroupPlan{"IN", "810", 1, {}}};
        const auto segs = segments(ic);
        const Split s = splitText(wd, render(segs, Style::Tilde) + "\r\n\r\n      ");
        ASSERT_TRUE(s.ok);
        ASSERT_EQ(s.groups.size(), 3u);
        EXPECT_EQ(s.groups[0].back(), segs.back());
        EXPECT_EQ(s.groups[1].back(), segs.back());
        EXPECT_EQ(s.groups[1][3], segs[0]);
        EXPECT_EQ(s.groups[2].back().substr(0, 3), "GE*");
        EXPECT_EQ(s.files[0].parent_path(), s.files[1].parent_path());
    }
}

TEST(Splitter, SeveralInterchangesInOneFileKeepTheirOwnEnvelopes)
{
    WorkDir wd;
    InterchangePlan a = twoGroups();
    InterchangePlan b;
    b.sender = "OTHER";
    b.control = "000000777";
    b.subSep = ':';
    b.groups = {GroupPlan{"SH", "856", 1, {}}, GroupPlan{"SH", "856", 1, {}}};
    const auto sa = segments(a);
    const auto sb = segments(b);
    TlynEDIRecvTranslateTo r;
    const Split s = splitText(wd, render(sa, Style::TildeCRLF) + render(sb, Style::TildeCRLF), &r);
    ASSERT_TRUE(s.ok);
    ASSERT_EQ(s.groups.size(), 4u);
    EXPECT_EQ(s.groups[0][3], sa[0]);
    EXPECT_EQ(s.groups[0].back(), sa.back());
    EXPECT_EQ(s.groups[1][3], sa[0]);
    EXPECT_EQ(s.groups[1].back().substr(0, 3), "GE*");
    EXPECT_EQ(s.groups[2][2], ":");
    EXPECT_EQ(s.groups[2][3], sb[0]);
    EXPECT_EQ(s.groups[2].back(), sb.back());
    EXPECT_EQ(s.groups[3][3], sb[0]);
    EXPECT_EQ(s.groups[3].back().substr(0, 3), "GE*");
    EXPECT_EQ(s.files[2].parent_path().filename(), "OTHER_WIDGETCO_856");
    EXPECT_EQ(r.subElementSeparator, ":");
}

TEST(Splitter, EachInterchangeIsCutWithItsOwnTerminator)
{
    InterchangePlan b;
    b.sender = "OTHER";
    b.control = "000000777";
    b.groups = {GroupPlan{"IN", "810", 1, {}}, GroupPlan{"IN", "810", 2, {}}};
    const auto sa = segments(InterchangePlan{});
    const auto sb = segments(b);
    // The second interchange: bar between elements, exclamation mark after segments.
    std::vector<std::string> sbBar = sb;
    for (auto &seg : sbBar)
        std::replace(seg.begin(), seg.end(), '*', '|');
    std::string bBar = render(sbBar, Style::Tilde);
    std::replace(bBar.begin(), bBar.end(), '~', '!');

    std::string lfOnly = render(sb, Style::CRLFOnly);
    std::erase(lfOnly, '\r');

    struct Case {
        const char *name;
        std::string text;
        std::vector<std::string> second;   // the second interchange's segments
        std::vector<std::string> head;      // separator lines of its group files
    };
    const std::vector<Case> cases = {
        {"tilde, then bar and exclamation mark", render(sa, Style::Tilde) + bBar, sbBar, {"33", "124", ">"}},
        {"CR LF only, then tilde with CR LF", render(sa, Style::CRLFOnly) + render(sb, Style::TildeCRLF), sb,
         {"126", "42", ">"}},
        // Line breaks after a tilde interchange must not be filtered out of
        // the next one before its own ISA says they are its terminator.
        {"tilde, then CR LF only", render(sa, Style::Tilde) + render(sb, Style::CRLFOnly), sb, {"10", "42", ">"}},
        {"tilde, then LF only", render(sa, Style::Tilde) + lfOnly, sb, {"10", "42", ">"}},
        {"wrapped at 80 columns, then CR LF only", render(sa, Style::Wrap80CRLF) + render(sb, Style::CRLFOnly), sb,
         {"10", "42", ">"}},
        {"CR LF only, then wrapped at 80 columns with LF",
         render(sa, Style::CRLFOnly) + render(sb, Style::Wrap80LF), sb, {"126", "42", ">"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        WorkDir wd;
        const Split s = splitText(wd, c.text);
        ASSERT_TRUE(s.ok);
        ASSERT_EQ(s.groups.size(), 3u);
        EXPECT_EQ(s.groups[0][3], sa[0]);
        EXPECT_EQ(s.groups[0].back().substr(0, 3), "GE*");
        const std::size_t ge1 = 1 + 1 + 5 + 1;   // ISA, GS, one set of five, GE
        std::vector<std::string> first = c.head;
        first.insert(first.end(), c.second.begin(), c.second.begin() + ge1);
        first.push_back(c.second.back());
        EXPECT_EQ(s.groups[1], first);
        std::vector<std::string> second = c.head;
        second.push_back(c.second[0]);
        second.insert(second.end(), c.second.begin() + ge1, c.second.end() - 1);
        EXPECT_EQ(s.groups[2], second);
        EXPECT_EQ(s.files[2].parent_path().filename(), "OTHER_WIDGETCO_810");
    }
}

TEST(Splitter, EachGroupIsFiledUnderItsOwnInterchangesPartners)
{
    // The last group of the first interchange is still in the work file when
    // the second ISA arrives: it belongs to partner A all the same.
    for (const Style style : {Style::Tilde, Style::TildeCRLF, Style::CRLFOnly}) {
        SCOPED_TRACE(static_cast<int>(style));
        WorkDir wd;
        InterchangePlan a;
        a.sender = "A";
        a.receiver = "R";
        a.groups = {GroupPlan{"PO", "850", 1, {}}};
        InterchangePlan b = a;
        b.sender = "B";
        b.control = "000000002";
        b.groups = {GroupPlan{"IN", "810", 1, {}}};
        InterchangePlan c = a; // two groups: the second is closed by the ISA after it
        c.sender = "C";
        c.control = "000000003";
        c.groups = {GroupPlan{"SH", "856", 1, {}}, GroupPlan{"PO", "850", 1, {}}};
        const Split s = splitText(wd, render(segments(a), style) + render(segments(b), style)
                                          + render(segments(c), style) + render(segments(b), style));
        ASSERT_TRUE(s.ok);
        std::vector<std::string> dirs;
        for (const auto &f : s.files)
            dirs.push_back(f.parent_path().filename().string());
        EXPECT_EQ(dirs, (std::vector<std::string>{"A_R_850", "B_R_810", "C_R_856", "C_R_850", "B_R_810"}));
    }
}

TEST(Splitter, ASegmentTooLongToHoldStopsTheInputWithAnError)
{
    WorkDir wd;
    InterchangePlan ic = twoGroups();
    ic.groups[0].body = {"BEG*00*SA*1", "MSG*" + std::string(pelldrake::edi::kMaxSegmentLength + 10, 'x')};
    TlynEDIRecvTranslateTo r;
    const Split s = splitText(wd, render(segments(ic), Style::Tilde), &r);
    EXPECT_FALSE(s.ok);
    EXPECT_NE(r.lastError.find("longer than 1 MiB"), std::string::npos) << r.lastError;
    // The group cut short is not filed as if it were whole.
    EXPECT_TRUE(s.files.empty());
}

#ifdef __linux__
TEST(Splitter, ASecondRunInTheSameDirectoryIsRefusedAtOnce)
{
    WorkDir wd;
    writeFile(wd.input() / "input.x12", render(segments(twoGroups()), Style::Tilde));
    // Another process's hold: a lock on its own open of the lock file.
    const int fd = ::open(TlynEDIRecvTranslateTo::kLockFileName, O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    TlynEDIRecvTranslateTo r;
    r.ediDirectory = wd.input().string();
    EXPECT_THROW(r.parseEDIData(), pelldrake::edi::WorkLockedError);
    EXPECT_TRUE(wd.groupFiles().empty());
    ::close(fd);
    EXPECT_TRUE(r.parseEDIData());
    EXPECT_EQ(wd.groupFiles().size(), 2u);
    // The lock file is no input, also when the input directory is the current one.
    fs::rename(wd.input() / "input.x12", "input.x12");
    r.ediDirectory = ".";
    EXPECT_TRUE(r.parseEDIData()) << r.lastError;
}

TEST(Splitter, AWorkFileNameTakenByALinkIsNeverFollowed)
{
    WorkDir wd;
    writeFile("victim.txt", "keep me");
    fs::create_symlink(wd.path() / "victim.txt", TlynEDIRecvTranslateTo::kWorkFileName);
    const Split s = splitText(wd, render(segments(twoGroups()), Style::Tilde));
    EXPECT_TRUE(s.ok);
    EXPECT_EQ(readFile("victim.txt"), "keep me");
}
#endif

TEST(Splitter, AnInterchangeWithoutIeaLendsNoIeaToItsGroups)
{
    WorkDir wd;
    auto sa = segments(twoGroups());
    sa.pop_back();
    InterchangePlan b;
    b.control = "000000777";
    const auto sb = segments(b);
    const Split s = splitText(wd, render(sa, Style::Tilde) + render(sb, Style::Tilde));
    ASSERT_EQ(s.groups.size(), 3u);
    EXPECT_EQ(s.groups[0].back().substr(0, 3), "GE*");
    EXPECT_EQ(s.groups[1].back().substr(0, 3), "GE*");
    EXPECT_EQ(s.groups[2][3], sb[0]);
}

TEST(Splitter, PartnerDirectoriesNeverLeaveTheWorkingDirectory)
{
    for (const std::string sender : {"../../x", "..\\..\\x", "/etc/x", "a/../b", "C:\\x", "..", "A\x01\x7f.\x02."}) {
        WorkDir wd;
        InterchangePlan ic;
        ic.sender = sender;
        const Split s = splitText(wd, render(segments(ic), Style::Tilde));
        ASSERT_TRUE(s.ok) << sender;
        ASSERT_EQ(s.files.size(), 1u) << sender;
        EXPECT_EQ(s.files[0].parent_path().parent_path(), wd.path()) << sender;
        const std::string dir = s.files[0].parent_path().filename().string();
        EXPECT_EQ(dir.find(".."), std::string::npos) << dir;
        EXPECT_EQ(dir.find_first_of("/\\:\x01\x7f"), std::string::npos) << dir;
        EXPECT_EQ(dir.substr(dir.size() - 13), "_WIDGETCO_850") << dir;
    }
    // A transaction set code that tries the same.
    WorkDir wd;
    InterchangePlan ic;
    ic.groups[0].code = "../../850";
    const Split s = splitText(wd, render(segments(ic), Style::Tilde));
    ASSERT_EQ(s.files.size(), 1u);
    EXPECT_EQ(s.files[0].parent_path().filename(), "ACME_WIDGETCO_850");
}

TEST(Splitter, EmptyMissingAndHeaderlessInputsReportFalse)
{
    WorkDir wd;
    TlynEDIRecvTranslateTo r;
    r.ediDirectory = wd.input().string();
    EXPECT_FALSE(r.parseEDIData()); // no input file
    r.ediDirectory = (wd.path() / "missing").string();
    EXPECT_FALSE(r.parseEDIData());

    r.ediDirectory = wd.input().string();
    writeFile(wd.input() / "empty.x12", "");
    EXPECT_FALSE(r.parseEDIData());
    writeFile(wd.input() / "empty.x12", "GS*PO*no interchange header~GE*1*1~");
    EXPECT_FALSE(r.parseEDIData());
    writeFile(wd.input() / "empty.x12", "ISA*00*short~");
    EXPECT_FALSE(r.parseEDIData());
    EXPECT_TRUE(wd.groupFiles().empty());

    // A listed file that cannot be opened (here a dangling link).
    fs::remove(wd.input() / "empty.x12");
    std::error_code ec;
    fs::create_symlink(wd.path() / "gone.x12", wd.input() / "link.x12", ec);
    if (!ec) {
        EXPECT_FALSE(r.parseEDIData());
    }
}

TEST(Splitter, TheWorkFileIsNeverTakenAsAnInput)
{
    // The working directory is also the input directory, and the work file of
    // the run before lies in it: each run splits the interchange and nothing else,
    // whatever order the directory lists its entries in.
    WorkDir wd;
    writeFile("input.x12", render(segments(InterchangePlan{}), Style::Tilde));
    TlynEDIRecvTranslateTo r;
    r.ediDirectory = wd.path().string();
    for (int run = 1; run <= 3; ++run) {
        ASSERT_TRUE(r.parseEDIData()) << "run " << run;
        EXPECT_TRUE(fs::is_regular_file(TlynEDIRecvTranslateTo::kWorkFileName));
        EXPECT_EQ(wd.groupFiles().size(), static_cast<std::size_t>(run));
    }
    fs::remove("input.x12");
    EXPECT_FALSE(r.parseEDIData()); // the work file alone is no input
}

#ifdef __linux__
TEST(Splitter, AGroupThatCannotBeWrittenWholeIsAnError)
{
    // A work file cut short must not be copied out as if it were the group.
    WorkDir wd;
    InterchangePlan ic;
    ic.groups[0].body.assign(300, "REF*DP*038");   // a group file of some 4 KB
    writeFile(wd.input() / "input.x12", render(segments(ic), Style::Tilde));
    TlynEDIRecvTranslateTo r;
    r.ediDirectory = wd.input().string();
    {
        const edi_testing::FileSizeLimit limit(2048);
        EXPECT_THROW(r.parseEDIData(), pelldrake::edi::FileError);
    }
    EXPECT_TRUE(r.parseEDIData());
    ASSERT_EQ(wd.groupFiles().size(), 1u);
    EXPECT_EQ(lines(readFile(wd.groupFiles()[0])).size(), 3u + 1 + 1 + 302 + 1);
}
#endif

TEST(Splitter, LongSegmentsAcrossBlocksAndBlockSizedInputsLoseNothing)
{
    WorkDir wd;
    InterchangePlan ic;
    const std::string longText = "MSG*" + std::string(5000, 'x');
    ic.groups[0].body = {"BEG*00*SA*1", longText, "REF*DP*1"};
    auto segs = segments(ic);
    const Split s = splitText(wd, render(segs, Style::TildeCRLF));
    ASSERT_EQ(s.groups.size(), 1u);
    EXPECT_EQ(s.groups[0], expectedGroup(segs, 0, segs.size() - 1, "126", "", ""));

    // Pad a body segment so the input is exactly one block.
    WorkDir wd2;
    InterchangePlan ic2;
    ic2.groups[0].body = {"MSG*"};
    auto segs2 = segments(ic2);
    const std::size_t size = render(segs2, Style::Tilde).size();
    ASSERT_LT(size, pelldrake::edi::kReadBlockSize);
    ic2.groups[0].body[0] += std::string(pelldrake::edi::kReadBlockSize - size, 'y');
    segs2 = segments(ic2);
    ASSERT_EQ(render(segs2, Style::Tilde).size(), pelldrake::edi::kReadBlockSize);
    const Split s2 = splitText(wd2, render(segs2, Style::Tilde));
    ASSERT_EQ(s2.groups.size(), 1u);
    EXPECT_EQ(s2.groups[0], expectedGroup(segs2, 0, segs2.size() - 1, "126", "", ""));
}

TEST(Splitter, ZeroBytesAreDroppedAloneNotWithTheRestOfTheirBlock)
{
    // A transport header of binary zeros before the ISA, and a stray zero byte
    // inside a segment: only the zero bytes go.
    WorkDir wd;
    InterchangePlan ic;
    ic.groups[0].body = {"BEG*00*SA*1", "REF*DP*038", "N1*ST*ACME"};
    const auto segs = segments(ic);
    std::string text = std::string(8, '\0') + render(segs, Style::Tilde);
    text.insert(text.find("REF*DP") + 4, 1, '\0');
    const Split s = splitText(wd, text);
    ASSERT_TRUE(s.ok);
    ASSERT_EQ(s.groups.size(), 1u);
    EXPECT_EQ(s.groups[0], expectedGroup(segs, 0, segs.size() - 1, "126", "", ""));
}

TEST(Splitter, LastLineWithoutLineBreakIsKept)
{
    WorkDir wd;
    InterchangePlan ic;
    auto segs = segments(ic);
    segs.pop_back(); // no IEA: the file ends with the GE line, unterminated
    std::string text = render(segs, Style::CRLFOnly);
    text.resize(text.size() - 2);
    const Split s = splitText(wd, text);
    ASSERT_EQ(s.groups.size(), 1u);
    EXPECT_EQ(s.groups[0].back(), segs.back());
}

TEST(Splitter, RepeatedRunsAndManyGroupsNeverReplaceAFile)
{
    WorkDir wd;
    InterchangePlan ic;
    ic.groups.assign(50, GroupPlan{});
    const std::string text = render(segments(ic), Style::Tilde);
    Split s = splitText(wd, text);
    ASSERT_EQ(s.files.size(), 50u);
    s = splitText(wd, text);
    ASSERT_EQ(s.files.size(), 100u);
    for (std::size_t i = 1; i < s.files.size(); ++i)
        EXPECT_LT(s.files[i - 1].filename(), s.files[i].filename());
    // Group k of the first run and of the second run hold the same text.
    EXPECT_EQ(readFile(s.files[7]), readFile(s.files[57]));
}

TEST(Splitter, TakenTimeStampNamesAreSkipped)
{
    using pelldrake::edi::FilePtr;
    using pelldrake::edi::TimestampFileNamer;
    WorkDir wd;
    const auto now = std::chrono::system_clock::now();
    std::vector<fs::path> taken;
    for (int i = 0; i < 300; ++i) {
        taken.push_back(wd.path() / (TimestampFileNamer::format(now + std::chrono::milliseconds(i)) + ".edi"));
        writeFile(taken.back(), "earlier");
    }
    // Every name of the namer's clock is taken for the next 299 milliseconds.
    TimestampFileNamer namer([now] { return now; });
    FilePtr f;
    const auto first = namer.create(wd.path(), f);
    f.reset();
    const auto second = namer.create(wd.path(), f);
    f.reset();
    EXPECT_EQ(first.filename().string().size(), 21u);
    EXPECT_LT(first.filename(), second.filename());
    EXPECT_EQ(first.filename(), TimestampFileNamer::format(now + std::chrono::milliseconds(300)) + ".edi");
    EXPECT_EQ(second.filename(), TimestampFileNamer::format(now + std::chrono::milliseconds(301)) + ".edi");
    for (const auto &t : taken)
        EXPECT_EQ(readFile(t), "earlier");
}

TEST(Splitter, SampleInterchangesSplitAndNavigate)
{
    WorkDir wd;
    TlynEDIRecvTranslateTo r;
    r.ediDirectory = (fs::path(PELLDRAKE_SAMPLES_DIR) / "x12").string();
    ASSERT_TRUE(r.parseEDIData());
    const auto files = wd.groupFiles();
    ASSERT_EQ(files.size(), 2u + 1u + 3u + 2u);

    // Find the purchase order group of the tilde-only sample.
    bool seen = false;
    for (const auto &f : files) {
        r.loadEDIData(f.string());
        if (r.getISASegElement(13) != "000000002")
            continue;
        seen = true;
        EXPECT_EQ(f.parent_path().filename(), "ACME_WIDGETCO_850");
        EXPECT_EQ(r.transactionSetCount, 1);
        r.loadDocument(1);
        EXPECT_EQ(r.lookupElementValue("N1", 2, 1, "ST"), "ACME STORE 1  ");
        r.setSegmentIndex(4);
        EXPECT_EQ(r.getSegmentName(r.segmentIndex), "PO1");
        EXPECT_EQ(r.elementCount, 8);
        EXPECT_EQ(r.getElementValue(7), "ITEM-1>A");
        EXPECT_EQ(r.nextSegmentName, "SE");
        EXPECT_EQ(r.getSESegElement(1), "6");
    }
    EXPECT_TRUE(seen);
}

// A file cut off inside the ISA of its next interchange: what came before is
// cut whole, and the cut ISA is kept (never dropped, never read as complete).
TEST(Splitter, AnIsaCutShortAtTheEndOfTheFile)
{
    const auto sa = segments(twoGroups());
    const std::size_t ge1 = 1 + 1 + 2 * 5 + 1;   // ISA, GS, two sets of five, GE
    const std::string cutIsa = isaSegment(InterchangePlan{}).substr(0, 60);
    for (const Style style : {Style::Tilde, Style::TildeCRLF, Style::CRLFOnly}) {
        for (const std::string lineBreak : {"", "\r\n"}) {
            SCOPED_TRACE(static_cast<int>(style));
            WorkDir wd;
            const Split s = splitText(wd, render(sa, style) + cutIsa + lineBreak);
            ASSERT_TRUE(s.ok);
            ASSERT_EQ(s.groups.size(), 3u);
            const std::string term = style == Style::CRLFOnly ? "10" : "126";
            EXPECT_EQ(s.groups[0], expectedGroup(sa, 0, ge1, term, "", sa.back()));
            EXPECT_EQ(s.groups[1], expectedGroup(sa, ge1, sa.size() - 1, term, sa[0], ""));
            // No ISA16 to read: the sub-element separator line stays empty.
            EXPECT_EQ(s.groups[2], (std::vector<std::string>{term, "42", "", cutIsa}));
        }
    }
}
