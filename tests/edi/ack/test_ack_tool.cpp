// pelldrake-edi ack, to-json and from-json as a user runs them: control
// numbers that stay unique across runs, runs at once and killed runs; input
// that cannot be answered; the JSON report.
#include "edi/ack_state.h"
#include "edi/file_util.h"
#include "edi/tool/edi_tool.h"
#include "x12_files.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <set>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using acktest::Envelope;

namespace {

struct ToolRun {
    int code;
    std::string out, err;
};

ToolRun tool(std::vector<std::string> args)
{
    std::ostringstream out, err;
    const int code = pelldrake::edi::tool::run(args, out, err);
    return {code, out.str(), err.str()};
}

// count interchanges from one sender with control numbers from first on.
std::string interchanges(int count, int first = 1, const std::string &sender = "SENDER")
{
    std::string text;
    for (int i = 0; i < count; ++i) {
        Envelope e;
        e.sender = sender;
        char control[16];
        std::snprintf(control, sizeof control, "%09d", first + i);
        e.control = control;
        text += acktest::isa(e) + "~GS*PO*A*B*20261207*0930*1*X*004010~ST*850*0001~BEG*00*SA*PO1**20261207~"
                                  "SE*3*0001~GE*1*1~IEA*1*" + e.control + "~\n";
    }
    return text;
}

// The ISA13 of every acknowledgment in dir; fails on a file that is not a
// complete interchange.
std::vector<std::string> answerControls(const fs::path &dir)
{
    std::vector<std::string> controls;
    for (const auto &entry : fs::directory_iterator(dir)) {
        const std::string text = acktest::readFile(entry.path());
        EXPECT_EQ(entry.path().extension(), ".x12") << entry.path();
        EXPECT_TRUE(text.size() > 106 && text.compare(text.size() - 17, 4, "IEA*") == 0)
            << entry.path() << " is not complete";
        controls.push_back(text.substr(90, 9));
    }
    return controls;
}

bool allDistinct(const std::vector<std::string> &v)
{
    return std::set<std::string>(v.begin(), v.end()).size() == v.size();
}

} // namespace

TEST(AckTool, TenThousandAnswersWithinAMinuteHaveDistinctControlNumbers)
{
    acktest::ScratchDir dir;
    const std::string in = dir.file("in.x12", interchanges(10000));
    const auto start = std::chrono::steady_clock::now();
    const ToolRun r = tool({"ack", in, "--out", (dir.path() / "out").string(), "--state", (dir.path() / "state").string()});
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::minutes(1));
    ASSERT_EQ(r.code, 0) << r.err;
    const auto controls = answerControls(dir.path() / "out");
    EXPECT_EQ(controls.size(), 10000u);
    EXPECT_TRUE(allDistinct(controls));
    // The next run goes on where this one stopped.
    const std::string more = dir.file("more.x12", interchanges(1, 20000));
    ASSERT_EQ(tool({"ack", more, "--out", (dir.path() / "out").string(), "--state", (dir.path() / "state").string()})
                  .code,
              0);
    EXPECT_TRUE(fs::exists(dir.path() / "out" / "ZZ-SENDER-000010001.x12"));
}

#ifndef _WIN32
TEST(AckTool, TwoRunsAtOnceAndAKilledRunNeverShareANumber)
{
    acktest::ScratchDir dir;
    const std::string a = dir.file("a.x12", interchanges(300, 1));
    const std::string b = dir.file("b.x12", interchanges(300, 1000));
    const std::string state = (dir.path() / "state").string();
    const std::string toolPath = PELLDRAKE_EDI_TOOL;
    const std::string outA = (dir.path() / "outA").string(), outB = (dir.path() / "outB").string();
    const std::string both = "(" + toolPath + " ack " + a + " --out " + outA + " --state " + state + " >/dev/null; echo $? > " +
                             (dir.path() / "rcA").string() + ") & (" + toolPath + " ack " + b + " --out " + outB +
                             " --state " + state + " >/dev/null; echo $? > " + (dir.path() / "rcB").string() +
                             ") & wait";
    ASSERT_EQ(std::system(both.c_str()), 0);
    EXPECT_EQ(acktest::readFile(dir.path() / "rcA"), "0\n");
    EXPECT_EQ(acktest::readFile(dir.path() / "rcB"), "0\n");
    std::vector<std::string> controls = answerControls(outA);
    const auto fromB = answerControls(outB);
    controls.insert(controls.end(), fromB.begin(), fromB.end());
    EXPECT_EQ(controls.size(), 600u);
    EXPECT_TRUE(allDistinct(controls));

    // A run killed outright: what it wrote is whole, and the next run neither
    // reuses its numbers nor leaves its temporary file.
    const std::string big = dir.file("big.x12", interchanges(20000, 5000));
    const std::string outC = (dir.path() / "outC").string();
    const std::string killed = toolPath + " ack " + big + " --out " + outC + " --state " + state +
                               " >/dev/null & pid=$!; sleep 0.4; kill -9 $pid; wait $pid; exit 0";
    ASSERT_EQ(std::system(killed.c_str()), 0);
    std::size_t partial = 0;
    for (const auto &entry : fs::directory_iterator(outC))
        partial += entry.path().extension() != ".x12";
    ASSERT_LE(partial, 1u) << "at most the file being written, under its temporary name";
    const std::string last = dir.file("last.x12", interchanges(1, 90000));
    ASSERT_EQ(tool({"ack", last, "--out", outC, "--state", state}).code, 0);
    const auto afterKill = answerControls(outC);   // fails on a temporary file left
    controls.insert(controls.end(), afterKill.begin(), afterKill.end());
    EXPECT_TRUE(allDistinct(controls));
}

TEST(AckTool, AStateFolderInUseIsRefusedAfterTheWait)
{
    acktest::ScratchDir dir;
    const fs::path state = dir.path() / "state";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    if (child == 0) {
        pelldrake::edi::AckState held(state);
        char c = 1;
        (void)!write(ready[1], &c, 1);
        std::this_thread::sleep_for(std::chrono::seconds(3));
        _exit(0);
    }
    char c;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_THROW(pelldrake::edi::AckState(state, std::chrono::milliseconds(200)), pelldrake::edi::WorkLockedError);
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_NO_THROW(pelldrake::edi::AckState(state, std::chrono::milliseconds(200)));
}
#endif

TEST(AckTool, InputThatCannotBeAnsweredEndsWithExitTwoAndNoFiles)
{
    acktest::ScratchDir dir;
    const std::string out = (dir.path() / "out").string(), state = (dir.path() / "state").string();
    std::string brokenIsa = acktest::isa(Envelope{});
    brokenIsa.erase(40, 3);
    const std::pair<std::string, std::string> bad[] = {
        {dir.file("text.txt", "hello, world\n"), "is not X12"},
        {dir.file("isa.x12", brokenIsa + "~GS*PO~"), "no TA1 can be formed"},
    };
    for (const auto &[file, message] : bad) {
        const ToolRun r = tool({"ack", file, "--out", out, "--state", state, "--json"});
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
        const auto report = nlohmann::json::parse(r.out);
        EXPECT_NE(report["files"][0]["error"].get<std::string>().find(message), std::string::npos);
        EXPECT_EQ(report["exitCode"], 2);
        EXPECT_TRUE(fs::is_empty(out));
    }
    // An output folder that cannot be made.
    const std::string notADir = dir.file("plain", "x");
    const ToolRun r = tool({"ack", dir.file("ok.x12", interchanges(1)), "--out", notADir + "/sub", "--state", state});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("output folder"), std::string::npos) << r.err;
    // Options checked before anything is read.
    EXPECT_EQ(tool({"ack", "x.x12"}).code, 2);
    EXPECT_EQ(tool({"ack", "x.x12", "--out", out, "--kind", "998"}).code, 2);
    EXPECT_EQ(tool({"to-json", "x.x12", "--state", state}).code, 2);
}

TEST(AckTool, JsonReportAndExitCodes)
{
    acktest::ScratchDir dir;
    const std::string out = (dir.path() / "out").string(), state = (dir.path() / "state").string();
    std::string text = interchanges(2);
    text.replace(text.find("SE*3*0001", text.find("IEA")), 9, "SE*4*0001");   // the second set's count
    const ToolRun r = tool({"ack", dir.file("in.x12", text), "--out", out, "--state", state, "--json"});
    EXPECT_EQ(r.code, 1) << "a rejected set fails like a failed check";
    const auto j = nlohmann::json::parse(r.out);
    EXPECT_EQ(j["command"], "ack");
    const auto &ics = j["files"][0]["interchanges"];
    ASSERT_EQ(ics.size(), 2u);
    EXPECT_EQ(ics[0]["groups"][0]["status"], "A");
    EXPECT_EQ(ics[1]["groups"][0]["status"], "R");
    EXPECT_EQ(ics[1]["control"], "000000002");
    EXPECT_TRUE(fs::exists(ics[1]["acknowledgment"].get<std::string>()));
    EXPECT_FALSE(ics[1]["findings"].empty());
    EXPECT_EQ(j["exitCode"], 1);
}

TEST(AckTool, ToJsonAndBackThroughFiles)
{
    acktest::ScratchDir dir;
    const std::string x12 = dir.file("in.x12", interchanges(3) + "trailing text");
    const std::string json = (dir.path() / "in.json").string(), back = (dir.path() / "back.x12").string();
    ASSERT_EQ(tool({"to-json", x12, "--out", json}).code, 0);
    ASSERT_EQ(tool({"from-json", json, "--out", back}).code, 0);
    EXPECT_EQ(acktest::readFile(back), acktest::readFile(x12));
    const ToolRun toStdout = tool({"to-json", x12});
    EXPECT_EQ(toStdout.out, acktest::readFile(json));
    // No X12: exit 2 and no output file, not even an empty one.
    const ToolRun r = tool({"to-json", dir.file("t.txt", "hello"), "--out", (dir.path() / "t.json").string()});
    EXPECT_EQ(r.code, 2);
    EXPECT_FALSE(fs::exists(dir.path() / "t.json"));
    EXPECT_EQ(tool({"from-json", x12, "--out", (dir.path() / "x.x12").string()}).code, 2);
    EXPECT_FALSE(fs::exists(dir.path() / "x.x12"));
}

// An interchange whose answer was never written is no duplicate next time.
TEST(AckTool, AnInterchangeIsRememberedOnlyOnceAnswered)
{
    using namespace pelldrake::edi;
    acktest::ScratchDir dir;
    const std::string in = dir.file("in.x12", interchanges(1));
    auto answerOnce = [&](bool fail) {
        AckState state(dir.path() / "state");
        FilePtr f = openFile(in, "rb");
        std::string ta1;
        acknowledgeFile(f.get(), in, AckOptions{}, state, [&](AckInterchange &ic) {
            if (fail)
                throw FileError("disk full");
            ta1 = ic.ta1Code;
        });
        return ta1;
    };
    EXPECT_THROW(answerOnce(true), FileError);
    EXPECT_EQ(answerOnce(false), "") << "answered as new, no TA1";
    EXPECT_EQ(answerOnce(false), "025");
}
