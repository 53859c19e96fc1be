#include "edi/tool/edi_tool.h"

#include "check_test_util.h"
#include "tool_runner.h"
#include "x12_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

using namespace checktest;
namespace tool = pelldrake::edi::tool;

namespace {

using Result = ToolResult;

Result run(std::vector<std::string> args) { return runTool(std::move(args)); }

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

std::string sample(const char *name) { return (samplesDir() / "ach" / name).string(); }

} // namespace

TEST(EdiTool, GoodInterchangePassesEveryCheck)
{
    TempDir dir;
    const Result r = run({"check", sample("ctx_payment.edi")});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("set 1: ST 820 0001"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Segment count is correct 5"), std::string::npos);
    EXPECT_NE(r.out.find("ST/SE Control Numbers match 0001"), std::string::npos);
    EXPECT_NE(r.out.find("0 failure(s)"), std::string::npos);
    // Without --work nothing is left behind.
    EXPECT_TRUE(fs::is_empty(dir.path()));
}

TEST(EdiTool, BadInterchangeReportsEachFailure)
{
    TempDir dir;
    const Result r = run({"check", sample("ctx_payment_bad.edi"), "--work", "w"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("ERROR:Segment count is NOT correct SECount=7 != 6"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ERROR: ST/SE Control Numbers do NOT match 0001 != 1"), std::string::npos);
    EXPECT_NE(r.out.find("BPR02 \"1,250.00\" is not a valid R"), std::string::npos);
    EXPECT_NE(r.out.find("DTM02 \"20260230\" is not a valid DT"), std::string::npos);
    EXPECT_NE(r.out.find("4 failure(s)"), std::string::npos);
    EXPECT_TRUE(fs::is_regular_file("w/lynEDICheck.cds"));   // --work keeps its files

    // An extra rule turns a passing element into a failure.
    const Result extra = run({"check", sample("ctx_payment.edi"), "--type", "TRN:02:DT"});
    EXPECT_EQ(extra.code, 1);
    EXPECT_NE(extra.out.find("TRN02 \"4711\" is not a valid DT"), std::string::npos) << extra.out;
}

TEST(EdiTool, ChecksEveryGroupOfAnInterchange)
{
    TempDir dir;
    Interchange ic;
    ic.setsPerGroup = {2, 1};
    auto segs = segments(ic);
    segs[5] = "SE*9*0001";   // the first set's count is wrong
    writeFile("two.x12", join(segs, "~", "\n"));
    const Result r = run({"check", "two.x12"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.out.find("ERROR:Segment count is NOT correct SECount=9 != 4"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("2 group(s), 3 transaction set(s), 1 failure(s)"), std::string::npos);

    const Result s = run({"split", "two.x12", "--work", "out"});
    EXPECT_EQ(s.code, 0);
    EXPECT_NE(s.out.find("2 parsed file(s)"), std::string::npos);
    EXPECT_EQ(std::distance(fs::directory_iterator("out/parsedDir"), fs::directory_iterator()), 2);
}

TEST(EdiTool, UsageAndInputErrors)
{
    TempDir dir;
    writeFile("text.txt", "no interchange in here");
    for (const auto &args : std::vector<std::vector<std::string>>{
             {},
             {"frobnicate"},
             {"check"},
             {"check", "missing.x12"},
             {"check", "text.txt"},
             {"check", "a", "b"},
             {"check", "text.txt", "--type", "DTM:x:DT"},
             {"check", "text.txt", "--type"},
             {"split", "missing.x12"},
             {"ach", "missing.ach", "out.edi"},
             {"ach", "only-one"},
             {"check", "text.txt", "--bogus"}}) {
        const Result r = run(args);
        EXPECT_EQ(r.code, 2) << (args.empty() ? "(none)" : args[0]);
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_EQ(run({"--help"}).code, 0);
}

TEST(EdiTool, ArgumentErrorsSayWhatIsWrong)
{
    TempDir dir;
    const auto message = [](std::vector<std::string> args) {
        const Result r = run(std::move(args));
        EXPECT_EQ(r.code, 2);
        return r.err.substr(0, r.err.find('\n'));
    };
    EXPECT_EQ(message({"frobnicate"}), "pelldrake-edi: unknown command \"frobnicate\"");
    EXPECT_EQ(message({"check"}), "pelldrake-edi: check wants one or more interchange files or directories");
    EXPECT_EQ(message({"ach", "only-one"}), "pelldrake-edi: ach wants an ACH file and the EDI file to write");
    // An option of another command is refused, not silently ignored.
    EXPECT_EQ(message({"split", "a.x12", "--type", "DTM:02:DT"}), "pelldrake-edi: --type is not an option of split");
    EXPECT_EQ(message({"ach", "a", "b", "--work", "w"}), "pelldrake-edi: --work is not an option of ach");
    EXPECT_EQ(message({"check", "a.x12", "--copy", "c"}), "pelldrake-edi: --copy is not an option of check");
    EXPECT_EQ(message({"check", "a.x12", "--type", "DTM:02:dt"}),
              "pelldrake-edi: --type: the data types are AN, ID, N.., R, DT and TM, not \"dt\"");

    writeFile("plain-file", "x");
    writeFile("one.x12", join(segments(Interchange{}), "~"));
    EXPECT_EQ(message({"check", "one.x12", "--work", "plain-file"}),
              "pelldrake-edi: cannot create the working directory \"plain-file\"");
    // The parsed directory cannot be made: a file stands in its place.
    fs::create_directory("blocked");
    writeFile("blocked/parsedDir", "x");
    EXPECT_EQ(message({"check", "one.x12", "--work", "blocked"}),
              "pelldrake-edi: cannot write the parsed files in \"" + (fs::current_path() / "blocked" / "parsedDir").string()
                  + "\": Not a directory");
    fs::create_directory("a-directory");
    EXPECT_EQ(message({"ach", sample("ctx_payment.ach"), "a-directory"}),
              "pelldrake-edi: cannot write \"a-directory\"");
#ifdef __linux__
    // Created, but nothing can be written to it.
    EXPECT_EQ(message({"ach", sample("ctx_payment.ach"), "/dev/full"}), "pelldrake-edi: cannot write \"/dev/full\"");
#endif
}

TEST(EdiTool, IncompleteEnvelopesAndSetsFail)
{
    TempDir dir;
    auto segs = segments(Interchange{});
    // No SE: the last segment stands where SE01 and SE02 are read, and here it
    // agrees with both, so only the missing SE tells.
    const auto se = std::find_if(segs.begin(), segs.end(), [](const std::string &s) { return s.rfind("SE*", 0) == 0; });
    ASSERT_NE(se, segs.end());
    *(se - 1) = "REF*3*0001";
    segs.erase(se);
    writeFile("nose.x12", join(segs, "~"));
    Result r = run({"check", "nose.x12"});
    EXPECT_EQ(r.code, 1) << r.out;
    EXPECT_NE(r.out.find("Segment count is correct 3"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ERROR: the transaction set does not end with an SE segment"), std::string::npos);
    EXPECT_NE(r.out.find("1 failure(s)"), std::string::npos);

    // An interchange cut off after its ISA has no group at all.
    writeFile("isa.x12", segments(Interchange{})[0] + "~");
    r = run({"check", "isa.x12"});
    EXPECT_EQ(r.code, 1) << r.out;
    for (const char *missing : {"GS", "GE", "IEA"})
        EXPECT_NE(r.out.find(std::string("ERROR: the group has no ") + missing + " segment"), std::string::npos)
            << r.out;
}

TEST(EdiTool, AchExtractionAndCopy)
{
    TempDir dir;
    const Result r = run({"ach", sample("ctx_payment.ach"), "out.edi", "--copy", "copy.ach"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("5 addenda record(s), 400 byte(s)"), std::string::npos) << r.out;
    EXPECT_EQ(readFile("out.edi"), readFile(sample("ctx_payment.edi")));
    EXPECT_EQ(readFile("copy.ach"), readFile(sample("ctx_payment.ach")));
}

TEST(EdiTool, ProgramExitCodes)
{
    TempDir dir;
    const std::string exe = PELLDRAKE_EDI_TOOL;
    auto status = [&](const std::string &args) {
        const int s = std::system(("\"" + exe + "\" " + args + " >out.txt 2>err.txt").c_str());
#ifdef _WIN32
        return s;
#else
        return WIFEXITED(s) ? WEXITSTATUS(s) : -1;
#endif
    };
    EXPECT_EQ(status("check \"" + sample("ctx_payment.edi") + "\""), 0);
    EXPECT_EQ(status("check \"" + sample("ctx_payment_bad.edi") + "\""), 1);
    EXPECT_EQ(status("check missing.x12"), 2);
    EXPECT_EQ(status(""), 2);
}

// The tool's N and R rules take X12's numeric forms, not the component's
// digits-and-full-stops: negative amounts pass, a second decimal point fails.
TEST(EdiTool, NumericRulesTakeX12Numbers)
{
    TempDir dir;
    auto segs = segments(Interchange{});
    segs[3] = "IT1*1*-3*EA*1.2.3**VP*W1";
    segs[4] = "ADX*-12.50*01";
    writeFile("neg.x12", join(segs, "~"));
    Result r = run({"check", "neg.x12", "--type", "ADX:02:N0"});
    EXPECT_EQ(r.code, 1);
    EXPECT_FALSE(contains(r.out, "ADX01")) << r.out;
    EXPECT_FALSE(contains(r.out, "IT102")) << r.out;
    EXPECT_TRUE(contains(r.out, "IT104 \"1.2.3\" is not a valid R")) << r.out;
    EXPECT_TRUE(contains(r.out, "1 failure(s)")) << r.out;
    for (const char *bad : {"-", ".", "-.", "+5", "1-2", "5 "}) {
        segs[4] = std::string("ADX*") + bad + "*1.5";
        writeFile("bad.x12", join(segs, "~"));
        r = run({"check", "bad.x12", "--type", "ADX:02:N2"});
        EXPECT_TRUE(contains(r.out, "ADX01 \"" + std::string(bad) + "\" is not a valid R")) << bad << r.out;
        EXPECT_TRUE(contains(r.out, "ADX02 \"1.5\" is not a valid N2")) << r.out;
    }
}

TEST(EdiTool, OptionsAreCheckedBeforeRulesAreRead)
{
    TempDir dir;
    writeFile("one.x12", join(segments(Interchange{}), "~"));
    for (const char *code : {"NX", "Nonsense", "N10", "n2"}) {
        const Result r = run({"check", "one.x12", "--type", std::string("DTM:02:") + code});
        EXPECT_EQ(r.code, 2) << code;
        EXPECT_TRUE(contains(r.err, "--type: the data types are")) << r.err;
    }
    writeFile("rules.txt", "DTM:02:Nonsense\n");
    Result r = run({"check", "one.x12", "--rules", "rules.txt"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(contains(r.err, "rules.txt:1: the data types are")) << r.err;
    // A rules file split does not take is refused as an option, never read.
    r = run({"split", "one.x12", "--rules", "missing.txt"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(contains(r.err, "--rules is not an option of split")) << r.err;
    r = run({"frobnicate", "--rules", "missing.txt"});
    EXPECT_TRUE(contains(r.err, "unknown command")) << r.err;
    // split's report ends with its parsed files, not a checker summary.
    r = run({"split", "one.x12", "--work", "w"});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(contains(r.out, "1 parsed file(s)\n")) << r.out;
    EXPECT_FALSE(contains(r.out, "group(s)")) << r.out;
}
