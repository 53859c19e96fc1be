// pelldrake-edi as a process: its standard output failing, signals, runs that
// were killed, inputs that are not regular files, a disk out of inodes.
#include "check_test_util.h"
#include "x12_builder.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#ifdef __linux__
#include <csignal>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace checktest;

namespace {

const std::string kExe = PELLDRAKE_EDI_TOOL;

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

struct Exit {
    int code = -1;   // exit status, -1 when ended by a signal
    std::string out, err;
};

// Runs the tool through the shell with stdout and stderr kept in files;
// `redirect` may replace the stdout redirection.
Exit runExe(const std::string &args, const std::string &redirect = ">out.txt")
{
    const std::string cmd = "timeout 60 \"" + kExe + "\" " + args + " " + redirect + " 2>err.txt";
    const int s = std::system(cmd.c_str());
    Exit e;
    e.code = WIFEXITED(s) ? WEXITSTATUS(s) : -1;
    e.out = readFile("out.txt");
    e.err = readFile("err.txt");
    return e;
}

std::size_t entries(const fs::path &dir)
{
    std::error_code ec;
    std::size_t n = 0;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        ++n;
    return n;
}

// Waits up to `seconds` for pid; the exit status, or -1 (killed) / -2 (still running).
int waitFor(pid_t pid, int seconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -2;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

TEST(ToolProcess, AReportThatCannotBeWrittenFails)
{
    TempDir dir;
    writeFile("one.x12", join(segments(Interchange{}), "~"));
    for (const char *args : {"check one.x12", "check one.x12 --json", "split one.x12 --work w --json", "--help"}) {
        const Exit e = runExe(args, ">/dev/full");
        EXPECT_EQ(e.code, 2) << args;
        EXPECT_TRUE(contains(e.err, "pelldrake-edi: cannot write to standard output: No space left on device"))
            << args << ": " << e.err;
    }
    EXPECT_EQ(runExe("check one.x12").code, 0);
}

// Stopped while its report fills a pipe nobody reads (so the run is surely
// under way), check removes its temporary folder and exits with 128 + signal.
TEST(ToolProcess, ASignalRemovesTheTemporaryFolder)
{
    TempDir dir;
    Interchange ic;
    ic.setsPerGroup = {3000, 3000};   // a report of some 600 KB
    writeFile("big.x12", join(segments(ic), "~\n"));
    fs::create_directory("tmp");
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        int out[2];
        ASSERT_EQ(::pipe(out), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::close(out[1]);
            ::setenv("TMPDIR", (dir.path() / "tmp").c_str(), 1);
            ::freopen("err.txt", "w", stderr);
            ::execl(kExe.c_str(), kExe.c_str(), "check", "big.x12", static_cast<char *>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        pollfd p{out[0], POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 30000), 1);   // the report has begun
        char c;
        ASSERT_EQ(::read(out[0], &c, 1), 1);
        EXPECT_EQ(entries("tmp"), 1u);   // its working folder
        ::kill(pid, signal);
        EXPECT_EQ(waitFor(pid, 30), 128 + signal);
        ::close(out[0]);
        EXPECT_EQ(entries("tmp"), 0u);
        EXPECT_TRUE(contains(readFile("err.txt"), "stopped by signal")) << readFile("err.txt");
    }
}

// A split killed at any moment leaves either no parsed file or the whole set,
// and what it left under temporary names goes with the next run.
TEST(ToolProcess, AKilledSplitLeavesNoPartialSet)
{
    TempDir dir;
    Interchange ic;
    ic.setsPerGroup = std::vector<int>(300, 40);
    const auto segs = segments(ic);
    writeFile("big.x12", join(segs, "~\r\n"));
    const fs::path parsed = "w/parsedDir";
    for (int delayMs : {0, 5, 15, 30, 60}) {
        SCOPED_TRACE(delayMs);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::freopen("/dev/null", "w", stdout);
            ::execl(kExe.c_str(), kExe.c_str(), "split", "big.x12", "--work", "w", static_cast<char *>(nullptr));
            ::_exit(127);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        ::kill(pid, SIGKILL);
        waitFor(pid, 30);
        const std::size_t n = entries(parsed);
        EXPECT_TRUE(n == 0 || n == 300) << n << " parsed files";
        if (n == 300) {
            for (fs::directory_iterator it(parsed), end; it != end; ++it) {
                const std::string text = readFile(it->path());
                EXPECT_EQ(text.substr(text.size() - segs.back().size() - 2), segs.back() + "\r\n") << it->path();
            }
        }
    }
    // What a killed run leaves: an unfinished set and the store's temporary file.
    fs::create_directories("w/parsedDir.tmp123");
    writeFile("w/parsedDir.tmp123/20260101000000000.edi", "cut");
    writeFile("w/lynEDICheck.cds.tmp456", "{\"for");
    writeFile("w/lynEDICheck.cds.tmpx", "not ours");
    Interchange small;
    writeFile("one.x12", join(segments(small), "~"));
    EXPECT_EQ(runExe("check one.x12 --work w").code, 0);
    EXPECT_FALSE(fs::exists("w/parsedDir.tmp123"));
    EXPECT_FALSE(fs::exists("w/lynEDICheck.cds.tmp456"));
    EXPECT_TRUE(fs::exists("w/lynEDICheck.cds.tmpx"));
    EXPECT_EQ(entries("w"), 4u) << "lock, store, parsed directory and the file not ours";
}

// An input folder holding what is no regular file: each is named in the report
// and counted as not checked, and no FIFO is ever opened (the run would hang).
TEST(ToolProcess, EntriesThatAreNoRegularFilesAreReported)
{
    TempDir dir;
    fs::create_directories("inbox/sub");
    writeFile("inbox/a.x12", join(segments(Interchange{}), "~"));
    ASSERT_EQ(::mkfifo("inbox/fifo", 0600), 0);
    fs::create_symlink("loop", "inbox/loop");
    fs::create_symlink("nothing-there", "inbox/dangling");
    Exit e = runExe("check inbox");
    EXPECT_EQ(e.code, 2) << e.err;
    EXPECT_TRUE(contains(e.out, "4 file(s): 1 passed, 0 failed, 3 not checked")) << e.out;
    EXPECT_TRUE(contains(e.err, "cannot read \"inbox/fifo\": not a regular file")) << e.err;
    EXPECT_TRUE(contains(e.err, "cannot read \"inbox/loop\": Too many levels of symbolic links")) << e.err;
    EXPECT_TRUE(contains(e.err, "cannot read \"inbox/dangling\": No such file or directory")) << e.err;
    e = runExe("split inbox/fifo");
    EXPECT_EQ(e.code, 2);
    EXPECT_TRUE(contains(e.err, "not a regular file")) << e.err;
}

// A command line with an option error is refused before any file it names is
// opened: the rules file here is a FIFO nobody writes, which would hold up a
// run that opened it.
TEST(ToolProcess, OptionErrorsComeBeforeTheRulesFileIsOpened)
{
    TempDir dir;
    writeFile("one.x12", join(segments(Interchange{}), "~"));
    ASSERT_EQ(::mkfifo("rules.fifo", 0600), 0);
    const std::pair<const char *, const char *> cases[] = {
        {"check one.x12 --copy c --rules rules.fifo", "--copy is not an option of check"},
        {"check one.x12 --rules rules.fifo --json --copy c", "--copy is not an option of check"},
        {"split one.x12 --rules rules.fifo", "--rules is not an option of split"},
        {"ach a b --rules rules.fifo", "--rules is not an option of ach"},
        {"check one.x12 --rules rules.fifo --bogus", "unknown option --bogus"},
        {"check one.x12 --rules rules.fifo --work", "--work wants a value"},
        {"check --rules rules.fifo", "check wants one or more interchange files or directories"},
    };
    for (const auto &[args, message] : cases) {
        SCOPED_TRACE(args);
        const int s = std::system(("timeout 10 \"" + kExe + "\" " + args + " >out.txt 2>err.txt").c_str());
        ASSERT_TRUE(WIFEXITED(s));
        EXPECT_EQ(WEXITSTATUS(s), 2);   // 124: the run waited on the FIFO
        const std::string err = readFile("err.txt");
        EXPECT_EQ(err.substr(0, err.find('\n')), std::string("pelldrake-edi: ") + message);
        EXPECT_EQ(readFile("out.txt"), "");
    }
}

// A file of three groups whose third parsed file cannot be created (the disk
// is out of inodes) is not reported as two good groups.
TEST(ToolProcess, AParsedFileThatCannotBeCreatedFailsTheRun)
{
    TempDir dir;
    Interchange ic;
    ic.setsPerGroup = {1, 1, 1};
    writeFile("three.x12", join(segments(ic), "~"));
    fs::create_directory("mnt");
    const std::string unshare = ::geteuid() == 0 ? "unshare -m" : "unshare -rm";
    bool failed = false;
    for (int inodes = 4; inodes <= 12; ++inodes) {
        SCOPED_TRACE(inodes);
        const std::string script = "mount -t tmpfs -o size=1m,nr_inodes=" + std::to_string(inodes)
            + " tmpfs mnt || exit 99; \"" + kExe + "\" check three.x12 --work mnt >out.txt 2>err.txt; echo $? >rc; "
              "ls -A mnt/parsedDir >listing 2>&1";
        const int s = std::system((unshare + " sh -c '" + script + "' 2>/dev/null").c_str());
        if (!WIFEXITED(s) || WEXITSTATUS(s) != 0)
            GTEST_SKIP() << "no private tmpfs here (unshare and mount)";
        const int code = std::stoi(readFile("rc"));
        const std::string out = readFile("out.txt"), err = readFile("err.txt");
        EXPECT_FALSE(contains(out, "2 group(s)")) << out;
        if (code == 0) {
            EXPECT_TRUE(contains(out, "3 group(s), 3 transaction set(s), 0 failure(s)")) << out;
            continue;
        }
        EXPECT_EQ(code, 2) << out << err;
        EXPECT_FALSE(contains(out, "group(s)")) << out;
        EXPECT_EQ(readFile("listing"), "");   // nothing of the failed run
        // With fewer inodes the lock file or the store fails first.
        if (contains(err, "cannot create a parsed file")) {
            EXPECT_TRUE(contains(err, "No space left on device")) << err;
            failed = true;
        }
    }
    EXPECT_TRUE(failed);
}
#endif
