#include "edi/edi_check.h"

#include "../file_size_limit.h"
#include "check_test_util.h"
#include "x12_builder.h"

#include <gtest/gtest.h>

#include <set>

using pelldrake::edi::TlynEDICheck;
using namespace checktest;

namespace {

// Lines of a parsed file; every line must end with CR LF.
std::vector<std::string> parsedLines(const std::string &path)
{
    const std::string text = readFile(path);
    std::vector<std::string> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find("\r\n", pos);
        EXPECT_NE(end, std::string::npos) << "last line without CR LF in " << path;
        if (end == std::string::npos)
            break;
        lines.push_back(text.substr(pos, end - pos));
        pos = end + 2;
    }
    return lines;
}

std::vector<std::string> header(const std::string &term, const std::string &sep = "42")
{
    return {term, sep, ">"};
}

std::vector<std::string> concat(std::vector<std::string> a, const std::vector<std::string> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<std::string> slice(const std::vector<std::string> &v, size_t from, size_t to)
{
    return std::vector<std::string>(v.begin() + from, v.begin() + to);
}

struct SplitRun {
    bool ok = false;
    std::vector<std::string> files;
};

SplitRun parse(TlynEDICheck &check, const std::string &bytes)
{
    writeFile("input.x12", bytes);
    check.ediFileName = "input.x12";
    SplitRun run;
    run.ok = check.parseEDIData();
    check.loadParsedFiles(run.files);
    return run;
}

} // namespace

TEST(CheckParse, OneGroupWithTwoSetsGivesOneFile)
{
    TempDir dir;
    TlynEDICheck check;
    Interchange ic;
    ic.setsPerGroup = {2};
    const auto segs = segments(ic);
    const SplitRun run = parse(check, join(segs, "~"));
    ASSERT_TRUE(run.ok);
    ASSERT_EQ(run.files.size(), 1u);
    EXPECT_EQ(parsedLines(run.files[0]), concat(header("126"), segs));
    EXPECT_EQ(check.elementSeparator, "*");
    EXPECT_EQ(check.subElementSeparator, ">");

    check.loadEDIData(run.files[0]);
    EXPECT_EQ(check.transactionSetCount, 2);
}

TEST(CheckParse, ALastSegmentWithoutTerminatorIsKept)
{
    // Files often end without a terminator after the IEA, or without the last
    // line break when the line break is the terminator; the IEA is not lost.
    TempDir dir;
    TlynEDICheck check;
    const auto segs = segments(Interchange{});
    for (const auto &[text, term] : {std::pair{join(segs, "~"), std::string("126")},
                                     std::pair{join(segs, "\r\n"), std::string("10")}}) {
        const SplitRun run = parse(check, text.substr(0, text.size() - (term == "10" ? 2 : 1)));
        ASSERT_TRUE(run.ok);
        ASSERT_EQ(run.files.size(), 1u);
        EXPECT_EQ(parsedLines(run.files[0]), concat(header(term), segs)) << term;
    }
}

TEST(CheckParse, TwoGroupsEachGetTheEnvelope)
{
    TempDir dir;
    TlynEDICheck check;
    Interchange ic;
    ic.setsPerGroup = {1, 2};
    const auto segs = segments(ic);   // ISA, GS, 4 lines, GE, GS, 8 lines, GE, IEA
    const SplitRun run = parse(check, join(segs, "~", "\r\n"));
    ASSERT_TRUE(run.ok);
    ASSERT_EQ(run.files.size(), 2u);
    const auto first = parsedLines(run.files[0]);
    const auto second = parsedLines(run.files[1]);
    EXPECT_EQ(first, concat(concat(header("126"), slice(segs, 0, 7)), {segs.back()}));
    EXPECT_EQ(second, concat(concat(header("126"), {segs[0]}), slice(segs, 7, segs.size())));
}

TEST(CheckParse, TerminatorStyles)
{
    Interchange ic;
    ic.setsPerGroup = {2};
    const auto segs = segments(ic);
    struct Style {
        const char *name;
        std::string bytes;
        std::string code;
    };
    const std::string tilde = join(segs, "~");
    const std::vector<Style> styles = {
        {"tilde", tilde, "126"},
        {"tilde CR LF", join(segs, "~", "\r\n"), "126"},
        {"tilde LF", join(segs, "~", "\n"), "126"},
        {"CR LF only", join(segs, "\r\n"), "10"},
        {"LF only", join(segs, "\n"), "10"},
        {"80 columns CR LF", wrap(tilde, 80, "\r\n"), "126"},
        {"80 columns LF", wrap(tilde, 80, "\n"), "126"},
        {"transport header", "SOME TRANSPORT BYTES\r\n" + tilde, "126"},
        {"blanks after IEA", tilde + "\r\n   \r\n\x1a", "126"},
    };
    for (const auto &style : styles) {
        SCOPED_TRACE(style.name);
        TempDir dir;
        TlynEDICheck check;
        const SplitRun run = parse(check, style.bytes);
        ASSERT_TRUE(run.ok);
        ASSERT_EQ(run.files.size(), 1u);
        EXPECT_EQ(parsedLines(run.files[0]), concat(header(style.code), segs));
    }
}

TEST(CheckParse, InputsThatAreNoInterchange)
{
    TempDir dir;
    TlynEDICheck check;
    // A stale file and a subdirectory in the parsed directory.
    writeFile(fs::path(check.parsedDirPath) / "20200101000000000.edi", "old");
    fs::create_directory(fs::path(check.parsedDirPath) / "keep");

    check.ediFileName = "missing.x12";
    EXPECT_FALSE(check.parseEDIData());
    std::vector<std::string> listed;
    check.loadParsedFiles(listed);
    ASSERT_EQ(listed.size(), 1u);   // the subdirectory stays and is listed
    EXPECT_EQ(fs::path(listed[0]).filename(), "keep");

    for (const std::string &bytes : {std::string(), std::string("no interchange here"),
                                    std::string("ISA*00*short~GS*X~")}) {
        writeFile("bad.x12", bytes);
        check.ediFileName = "bad.x12";
        EXPECT_FALSE(check.parseEDIData()) << bytes;
    }
    check.ediFileName = "";
    EXPECT_FALSE(check.parseEDIData());
}

TEST(CheckParse, NamesAreUniqueAndInWritingOrder)
{
    TempDir dir;
    TlynEDICheck check;
    Interchange ic;
    ic.setsPerGroup = std::vector<int>(40, 1);   // 40 groups, written within a few milliseconds
    const auto segs = segments(ic);
    const SplitRun run = parse(check, join(segs, "~"));
    ASSERT_TRUE(run.ok);
    ASSERT_EQ(run.files.size(), 40u);
    std::set<std::string> names;
    for (size_t i = 0; i < run.files.size(); ++i) {
        const std::string name = fs::path(run.files[i]).filename().string();
        ASSERT_EQ(name.size(), 21u);
        EXPECT_EQ(name.find_first_not_of("0123456789"), 17u);
        names.insert(name);
        // Listed in name order, which is the order the groups were written.
        const auto lines = parsedLines(run.files[i]);
        ASSERT_GE(lines.size(), 5u);
        EXPECT_EQ(lines[4], "GS*PO*SENDER*RECEIVER*20261207*0930*" + std::to_string(100 + i) + "*X*004010");
        EXPECT_EQ(lines.back(), segs.back());
    }
    EXPECT_EQ(names.size(), 40u);
}

TEST(CheckParse, SeveralInterchangesKeepTheirOwnEnvelopes)
{
    TempDir dir;
    TlynEDICheck check;
    Interchange a, b;
    a.setsPerGroup = {1, 1};
    b.sender = "OTHER";
    b.control = "000000002";
    b.setsPerGroup = {1, 1};
    const auto sa = segments(a), sb = segments(b);
    const SplitRun run = parse(check, join(sa, "~", "\r\n") + join(sb, "~", "\r\n"));
    ASSERT_TRUE(run.ok);
    ASSERT_EQ(run.files.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        const auto &s = i < 2 ? sa : sb;
        const auto lines = parsedLines(run.files[i]);
        SCOPED_TRACE(i);
        EXPECT_EQ(lines[3], s.front());   // its own ISA
        EXPECT_EQ(lines.back(), s.back());   // its own IEA
    }
}

TEST(CheckParse, LongSegmentsAndBlockBoundaries)
{
    // Segments longer than a reading block, and sets placed so that segments
    // straddle every block boundary: nothing may be lost or split.
    for (size_t longLen : {10u, 999u, 1000u, 1999u, 2000u, 2500u, 7000u}) {
        SCOPED_TRACE(longLen);
        TempDir dir;
        TlynEDICheck check;
        Interchange ic;
        ic.setsPerGroup = {3, 2};
        ic.extraLines = 40;
        auto segs = segments(ic);
        segs[5] = "MSG*" + std::string(longLen, 'x');
        const SplitRun run = parse(check, join(segs, "~", "\r\n"));
        ASSERT_TRUE(run.ok);
        ASSERT_EQ(run.files.size(), 2u);
        std::vector<std::string> all;
        for (const auto &f : run.files) {
            const auto lines = parsedLines(f);
            all.insert(all.end(), lines.begin() + 3, lines.end());
        }
        // Both files carry the ISA; the first also the IEA.
        std::vector<std::string> expected = segs;
        const size_t secondGs = 2 + 3 * (3 + 40) + 1;
        ASSERT_EQ(segs[secondGs].substr(0, 2), "GS");
        expected.insert(expected.begin() + secondGs, segs.front());
        expected.insert(expected.begin() + secondGs, segs.back());
        EXPECT_EQ(all, expected);
    }
}

#ifdef __linux__
TEST(CheckParse, AParsedFileCutShortFailsTheRun)
{
    TempDir dir;
    Interchange ic;
    ic.extraLines = 200;   // one group file of some 8 KB
    writeFile("big.x12", join(segments(ic), "~"));
    TlynEDICheck check;
    check.ediFileName = "big.x12";
    {
        const edi_testing::FileSizeLimit limit(4096);
        EXPECT_FALSE(check.parseEDIData());
    }
    EXPECT_TRUE(check.parseEDIData());   // the same input with room on the disk
}
#endif

TEST(CheckParse, CleanAndListTheParsedDirectory)
{
    TempDir dir;
    TlynEDICheck check;
    EXPECT_TRUE(fs::is_directory(check.parsedDirPath));
    writeFile(fs::path(check.parsedDirPath) / "b.edi", "");
    writeFile(fs::path(check.parsedDirPath) / "a.edi", "");
    std::vector<std::string> list = {"kept"};
    check.loadParsedFiles(list);
    ASSERT_EQ(list.size(), 3u);   // appended, not cleared
    EXPECT_EQ(list[0], "kept");
    EXPECT_EQ(fs::path(list[1]).filename(), "a.edi");
    check.cleanParsedDir();
    list.clear();
    check.loadParsedFiles(list);
    EXPECT_TRUE(list.empty());
    fs::remove(check.parsedDirPath);
    EXPECT_NO_THROW(check.cleanParsedDir());
    check.loadParsedFiles(list);
    EXPECT_TRUE(list.empty());
}
