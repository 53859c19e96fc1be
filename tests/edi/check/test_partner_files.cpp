// The checker and pelldrake-edi on what trading partners really send: files of
// several interchanges in different styles, overlong segments, runs sharing a
// working directory, unreadable inputs, outputs onto inputs, symbolic links.
#include "edi/edi_check.h"
#include "edi/from_ach.h"
#include "edi/interchange_splitter.h"
#include "edi/tool/edi_tool.h"
#include "edi/tool/report.h"
#include "edi/work_lock.h"

#include "../file_size_limit.h"
#include "check_test_util.h"
#include "tool_runner.h"
#include "x12_builder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#ifdef __linux__
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace checktest;
using pelldrake::edi::TlynEDICheck;
namespace tool = pelldrake::edi::tool;

namespace {

using Result = ToolResult;

Result run(std::vector<std::string> args) { return runTool(std::move(args)); }

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

std::string lfOnly(std::string text)
{
    std::erase(text, '\r');
    return text;
}

Interchange partner(const std::string &sender, const std::string &control, std::vector<int> sets)
{
    Interchange ic;
    ic.sender = sender;
    ic.control = control;
    ic.setsPerGroup = std::move(sets);
    return ic;
}

// One file of four interchanges: tilde, CR LF only, LF only, wrapped at 80.
std::string mixedStyles()
{
    return join(segments(partner("A", "000000001", {2})), "~")
        + join(segments(partner("B", "000000002", {1, 1})), "\r\n")
        + lfOnly(join(segments(partner("C", "000000003", {1})), "\r\n"))
        + wrap(join(segments(partner("D", "000000004", {3})), "~"), 80, "\r\n");
}

std::size_t filesIn(const fs::path &dir)
{
    std::size_t n = 0;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        ++n;
    return n;
}

} // namespace

TEST(PartnerFiles, EveryInterchangeOfAMixedFileIsCutWithItsOwnTerminator)
{
    TempDir dir;
    writeFile("mixed.x12", mixedStyles());
    TlynEDICheck check;
    check.ediFileName = "mixed.x12";
    ASSERT_TRUE(check.parseEDIData()) << check.lastError;
    std::vector<std::string> files;
    check.loadParsedFiles(files);
    ASSERT_EQ(files.size(), 5u);
    const std::vector<int> sets = {2, 1, 1, 1, 3};
    const std::vector<std::string> terms = {"126", "10", "10", "10", "126"};
    for (std::size_t f = 0; f < files.size(); ++f) {
        SCOPED_TRACE(files[f]);
        const std::string text = readFile(files[f]);
        EXPECT_EQ(text.substr(0, text.find('\r')), terms[f]);
        // No G lost, no IEA inside the group.
        EXPECT_EQ(text.find("\r\nS*"), std::string::npos);
        EXPECT_EQ(text.find("IEA"), text.rfind("IEA"));
        check.loadEDIData(files[f]);
        EXPECT_EQ(check.transactionSetCount, sets[f]);
        EXPECT_EQ(check.getGSSegElement(1), "PO");
    }
    const Result r = run({"check", "mixed.x12"});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "5 group(s), 8 transaction set(s), 0 failure(s)")) << r.out;
}

TEST(PartnerFiles, ASegmentTooLongIsAnErrorNotATruncatedSuccess)
{
    TempDir dir;
    auto segs = segments(partner("A", "000000001", {1, 1}));
    segs.insert(segs.begin() + 3, "MSG*" + std::string(pelldrake::edi::kMaxSegmentLength, 'x'));
    writeFile("long.x12", join(segs, "~"));
    const Result r = run({"split", "long.x12", "--work", "w"});
    EXPECT_EQ(r.code, 2) << r.out;
    EXPECT_TRUE(contains(r.err, "longer than 1 MiB")) << r.err;
    EXPECT_EQ(filesIn("w/parsedDir"), 0u);
    EXPECT_EQ(run({"check", "long.x12"}).code, 2);
}

#ifdef __linux__
TEST(PartnerFiles, AWorkingDirectoryInUseIsRefusedAtOnce)
{
    TempDir dir;
    writeFile("one.x12", join(segments(Interchange{}), "~"));
    fs::create_directory("w");
    // Another run's hold: a lock on its own open of the lock file.
    const int fd = ::open("w/lynEDICheck.lock", O_RDWR | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    for (const char *command : {"check", "split"}) {
        const Result r = run({command, "one.x12", "--work", "w"});
        EXPECT_EQ(r.code, 2) << command;
        EXPECT_TRUE(contains(r.err, "is in use by another run")) << r.err;
    }
    {
        const fs::path old = fs::current_path();
        fs::current_path("w");
        TlynEDICheck check;
        check.ediFileName = (old / "one.x12").string();
        EXPECT_THROW(check.parseEDIData(), pelldrake::edi::WorkLockedError);
        EXPECT_THROW(check.loadEDIData("x.edi"), pelldrake::edi::WorkLockedError);
        fs::current_path(old);
    }
    ::close(fd);
    EXPECT_EQ(run({"check", "one.x12", "--work", "w"}).code, 0);
}

TEST(PartnerFiles, TwoRunsAtOnceNeverReportABadInterchangeAsGood)
{
    TempDir dir;
    auto segs = segments(partner("A", "000000001", std::vector<int>(40, 20)));
    std::replace(segs.begin(), segs.end(), std::string("SE*4*0001"), std::string("SE*9*0001"));
    writeFile("bad.x12", join(segs, "~\r\n"));
    writeFile("good.x12", join(segments(partner("A", "000000001", std::vector<int>(40, 20))), "~\r\n"));
    const std::string exe = PELLDRAKE_EDI_TOOL;
    for (int attempt = 0; attempt < 6; ++attempt) {
        const std::string cmd = "\"" + exe + "\" check bad.x12 --work shared >bad.out 2>bad.err & \"" + exe
            + "\" check good.x12 --work shared >good.out 2>good.err; g=$?; wait $!; b=$?; echo $b $g >codes";
        ASSERT_EQ(std::system(("sh -c '" + cmd + "'").c_str()), 0);
        std::istringstream codes(readFile("codes"));
        int bad = -1, good = -1;
        codes >> bad >> good;
        // Each run is either whole and right, or refused.
        EXPECT_TRUE(bad == 1 || bad == 2) << "attempt " << attempt << ": " << bad << readFile("bad.out");
        EXPECT_TRUE(good == 0 || good == 2) << "attempt " << attempt << ": " << good << readFile("good.out");
        if (bad == 2) {
            EXPECT_TRUE(contains(readFile("bad.err"), "in use by another run")) << readFile("bad.err");
        }
        if (bad == 1) {
            EXPECT_TRUE(contains(readFile("bad.out"), "ERROR:Segment count is NOT correct"));
        }
    }
}

TEST(PartnerFiles, UnreadableInputsFailAndLeaveOutputsAlone)
{
    TempDir dir;
    writeFile("out.edi", "earlier text");
    Result r = run({"ach", "/proc/self/mem", "out.edi"});   // every read of it fails
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(contains(r.err, "cannot read")) << r.err;
    EXPECT_EQ(readFile("out.edi"), "earlier text");

    writeFile("good.x12", join(segments(Interchange{}), "~"));
    r = run({"check", "/proc/self/mem", "good.x12"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(contains(r.out, "2 file(s): 1 passed, 0 failed, 1 not checked")) << r.out;
}
#endif

TEST(PartnerFiles, OutputsNeverReplaceInputs)
{
    TempDir dir;
    const std::string achText = readFile(samplesDir() / "ach" / "ctx_payment.ach");
    writeFile("in.ach", achText);
    Result r = run({"ach", "in.ach", "./in.ach"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(contains(r.err, "is the ACH file itself")) << r.err;
    EXPECT_EQ(readFile("in.ach"), achText);
    fs::create_hard_link("in.ach", "other-name.ach");
    EXPECT_EQ(run({"ach", "in.ach", "other-name.ach"}).code, 2);
    EXPECT_EQ(readFile("in.ach"), achText);

    fs::create_directory("sub");
    r = run({"ach", "in.ach", "out.edi", "--copy", "sub/../out.edi"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(contains(r.err, "are the same file")) << r.err;

    // An input in the parsed directory would be deleted before it is read.
    fs::create_directories("w/parsedDir");
    const std::string x12 = join(segments(Interchange{}), "~");
    writeFile("w/parsedDir/in.x12", x12);
    r = run({"check", "w/parsedDir/in.x12", "--work", "w"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(contains(r.err, "lies in the parsed directory")) << r.err;
    EXPECT_EQ(readFile("w/parsedDir/in.x12"), x12);
    {
        const fs::path old = fs::current_path();
        fs::current_path("w");
        TlynEDICheck check;
        check.ediFileName = "parsedDir/in.x12";
        EXPECT_FALSE(check.parseEDIData());
        fs::current_path(old);
    }
    EXPECT_EQ(readFile("w/parsedDir/in.x12"), x12);
    r = run({"check", "w/lynEDICheck.cds", "--work", "w"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(contains(r.err, "own store")) << r.err;
#ifndef _WIN32
    // A link to a file in the parsed directory is refused as the file itself.
    fs::create_symlink(fs::absolute("w/parsedDir/in.x12"), "link.x12");
    for (const char *command : {"check", "split"}) {
        r = run({command, "link.x12", "--work", "w"});
        EXPECT_EQ(r.code, 2) << command;
        EXPECT_TRUE(contains(r.err, "lies in the parsed directory")) << r.err;
        EXPECT_EQ(readFile("w/parsedDir/in.x12"), x12);
    }
#endif
}

#ifndef _WIN32
TEST(PartnerFiles, SymbolicLinksAreNeverFollowed)
{
    TempDir dir;
    fs::create_directories("elsewhere");
    writeFile("elsewhere/precious.txt", "keep");
    fs::create_directories("w");
    fs::create_directory_symlink(dir.path() / "elsewhere", "w/parsedDir");
    writeFile("one.x12", join(segments(Interchange{}), "~"));
    Result r = run({"split", "one.x12", "--work", "w"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(contains(r.err, "symbolic link")) << r.err;
    EXPECT_EQ(readFile("elsewhere/precious.txt"), "keep");
    EXPECT_EQ(filesIn("elsewhere"), 1u);
    {
        const fs::path old = fs::current_path();
        fs::current_path("w");
        TlynEDICheck check;
        EXPECT_THROW(check.cleanParsedDir(), pelldrake::edi::FileError);
        fs::current_path(old);
    }
    EXPECT_EQ(readFile("elsewhere/precious.txt"), "keep");

    // Links at the store's temporary name and at an output's name.
    fs::create_directories("v");
    writeFile("victim.txt", "victim");
    for (const char *name : {"v/lynEDICheck.cds.tmp", "v/.lynEDICheck.cds.tmp"})
        fs::create_symlink(dir.path() / "victim.txt", name);
    EXPECT_EQ(run({"check", "one.x12", "--work", "v"}).code, 0);
    EXPECT_EQ(readFile("victim.txt"), "victim");
    fs::create_symlink(dir.path() / "victim.txt", "link.edi");
    EXPECT_EQ(run({"ach", (samplesDir() / "ach" / "ctx_payment.ach").string(), "link.edi"}).code, 0);
    EXPECT_EQ(readFile("victim.txt"), "victim");
    EXPECT_EQ(readFile("link.edi"), readFile(samplesDir() / "ach" / "ctx_payment.edi"));
}
#endif

TEST(PartnerFiles, CutOffEnvelopesFullDisksAndControlCharacters)
{
    TempDir dir;
    const auto segs = segments(Interchange{});
    std::string whole = join(segs, "~");
    // Cut off inside the IEA (its control number half there), and right after its tag.
    for (const std::size_t cut : {std::size_t{5}, std::size_t{11}}) {
        writeFile("cut.x12", whole.substr(0, whole.size() - cut));
        const Result r = run({"check", "cut.x12"});
        EXPECT_EQ(r.code, 1) << cut << r.out;
        EXPECT_TRUE(contains(r.out, "IEA")) << r.out;
    }
    writeFile("whole.x12", whole);
    EXPECT_EQ(run({"check", "whole.x12"}).code, 0);

    // An element holding an escape sequence reaches the terminal escaped.
    auto bad = segs;
    bad[3] = "BEG*00*SA*PO1**2026\x1b[2J0230";
    writeFile("esc.x12", join(bad, "~"));
    const Result r = run({"check", "esc.x12"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    EXPECT_TRUE(contains(r.out, "BEG05 \"2026\\x1b[2J0230\" is not a valid DT")) << r.out;
    EXPECT_EQ(tool::printable("a\tb\\c\x7f"), "a\\x09b\\\\c\\x7f");

#ifdef __linux__
    // A full disk: the run fails and leaves no partial parsed file behind.
    Interchange big;
    big.setsPerGroup = {200, 200};
    writeFile("big.x12", join(segments(big), "~\r\n"));
    TlynEDICheck check;
    check.ediFileName = "big.x12";
    {
        edi_testing::FileSizeLimit limit(4096);
        EXPECT_FALSE(check.parseEDIData());
    }
    EXPECT_TRUE(contains(check.lastError, "cannot write")) << check.lastError;
    EXPECT_EQ(filesIn("parsedDir"), 0u);
#endif
}

TEST(PartnerFiles, JsonReportsForScripts)
{
    TempDir dir;
    auto segs = segments(partner("A", "000000001", {2, 1}));
    std::replace(segs.begin(), segs.end(), std::string("SE*4*0002"), std::string("SE*4*0009"));
    writeFile("two.x12", join(segs, "~\r\n"));
    Result r = run({"check", "two.x12", "--json", "--work", "w"});
    EXPECT_EQ(r.code, 1);
    const auto doc = nlohmann::json::parse(r.out);
    EXPECT_EQ(doc["command"], "check");
    EXPECT_EQ(doc["exitCode"], 1);
    ASSERT_EQ(doc["files"].size(), 1u);
    const auto &file = doc["files"][0];
    EXPECT_EQ(file["file"], "two.x12");
    EXPECT_EQ(file["groupCount"], 2);
    EXPECT_EQ(file["setCount"], 3);
    EXPECT_EQ(file["failureCount"], 1);
    ASSERT_EQ(file["groups"].size(), 2u);
    const auto &g1 = file["groups"][0];
    EXPECT_EQ(g1["functionalId"], "PO");
    EXPECT_EQ(g1["version"], "004010");
    EXPECT_TRUE(fs::exists(g1["parsedFile"].get<std::string>()));
    ASSERT_EQ(g1["sets"].size(), 2u);
    const auto &set2 = g1["sets"][1];
    EXPECT_EQ(set2["id"], "850");
    EXPECT_EQ(set2["control"], "0002");
    ASSERT_EQ(set2["checks"].size(), 2u);
    EXPECT_EQ(set2["checks"][0]["passed"], true);
    EXPECT_EQ(set2["checks"][1]["check"], "control numbers");
    EXPECT_EQ(set2["checks"][1]["passed"], false);
    EXPECT_EQ(set2["checks"][1]["message"], "ERROR: ST/SE Control Numbers do NOT match 0002 != 0009");

    // Several files: each split empties the parsed directory, so only the
    // groups of the last file split name parsed files, and those exist.
    writeFile("one.x12", join(segments(partner("B", "000000002", {1})), "~"));
    r = run({"check", "two.x12", "one.x12", "missing.x12", "--json", "--work", "w"});
    const auto several = nlohmann::json::parse(r.out);
    ASSERT_EQ(several["files"].size(), 3u);
    for (const auto &g : several["files"][0]["groups"])
        EXPECT_FALSE(g.contains("parsedFile")) << g;
    ASSERT_EQ(several["files"][1]["groups"].size(), 1u);
    EXPECT_TRUE(fs::exists(several["files"][1]["groups"][0]["parsedFile"].get<std::string>()));

    r = run({"split", "two.x12", "--json", "--work", "w"});
    EXPECT_EQ(r.code, 0);
    const auto split = nlohmann::json::parse(r.out);
    EXPECT_EQ(split["files"][0]["parsedFiles"].size(), 2u);

    // An input that cannot be checked still gives a whole document.
    r = run({"check", "missing.x12", "--json"});
    EXPECT_EQ(r.code, 2);
    const auto missing = nlohmann::json::parse(r.out);
    EXPECT_EQ(missing["files"][0]["error"], "cannot read \"missing.x12\"");
    r = run({"split", "missing.x12", "--json"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(nlohmann::json::parse(r.out)["error"], "cannot read \"missing.x12\"");
    EXPECT_EQ(tool::jsonString("a\"\\\x01\xc3\xa9\xff"), "\"a\\\"\\\\\\u0001\xc3\xa9\\u00ff\"");
}

TEST(PartnerFiles, SeveralFilesAndDirectoriesGiveTheWorstExitCode)
{
    TempDir dir;
    fs::create_directories("inbox");
    writeFile("inbox/a.x12", join(segments(partner("A", "000000001", {1})), "~"));
    writeFile("inbox/b.x12", lfOnly(join(segments(partner("B", "000000002", {2})), "\n")));
    Result r = run({"check", "inbox"});
    EXPECT_EQ(r.code, 0) << r.out << r.err;
    EXPECT_TRUE(contains(r.out, "2 file(s): 2 passed, 0 failed, 0 not checked")) << r.out;

    auto bad = segments(partner("C", "000000003", {1}));
    bad[2] = "ST*850*0001X";
    writeFile("bad.x12", join(bad, "~"));
    r = run({"check", "inbox", "bad.x12"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.out, "== bad.x12")) << r.out;
    r = run({"check", "bad.x12", "inbox", "missing.x12"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(contains(r.out, "4 file(s): 2 passed, 1 failed, 1 not checked")) << r.out;
    EXPECT_TRUE(contains(r.err, "cannot read \"missing.x12\"")) << r.err;
}

TEST(PartnerFiles, RulesBuiltInAndFromAFile)
{
    TempDir dir;
    auto segs = segments(Interchange{});
    segs[3] = "IT1*1*1,000*EA*9.95A**VP*W1";
    segs[4] = "REF*ZZ*12-4";
    writeFile("inv.x12", join(segs, "~"));
    Result r = run({"check", "inv.x12"});
    EXPECT_EQ(r.code, 1);
    EXPECT_TRUE(contains(r.out, "IT102 \"1,000\" is not a valid R")) << r.out;
    EXPECT_TRUE(contains(r.out, "IT104 \"9.95A\" is not a valid R")) << r.out;
    EXPECT_FALSE(contains(r.out, "REF02")) << r.out;

    writeFile("rules.txt", "# our partner's rules\r\n\r\n  REF:02:N0  \r\n");
    r = run({"check", "inv.x12", "--rules", "rules.txt"});
    EXPECT_TRUE(contains(r.out, "REF02 \"12-4\" is not a valid N0")) << r.out;
    writeFile("broken.txt", "REF:02:N0\nREF02N0\n");
    r = run({"check", "inv.x12", "--rules", "broken.txt"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(contains(r.err, "broken.txt:2: a rule is SEG:NN:CODE")) << r.err;
    EXPECT_EQ(run({"check", "inv.x12", "--rules", "none.txt"}).code, 2);
}
