// End to end: times `pelldrake-edi check` and `pelldrake-edi ach` as a user
// runs them (a child process, its output thrown away) and reads the child's
// peak resident memory from the kernel.
//   edi_tool_bench [REPEATS=3] [TEMP_BASE] [--quick] [--tool PATH]
// --quick runs only the smaller sizes; --tool times another build of the tool.
#include "bench_data.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace benchdata;

namespace {

std::string g_tool = PELLDRAKE_EDI_TOOL;

struct Run {
    double seconds = 0;
    double peakMB = 0;
    double cpu = 0; // user + system seconds of the child
    int code = -1;
};

// Runs the tool once; stdout and stderr go to /dev/null.
Run runTool(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    std::string exe = g_tool;
    argv.push_back(exe.data());
    std::vector<std::string> copy = args;
    for (auto &a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 1);
        ::dup2(null, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    rusage ru{};
    ::wait4(pid, &status, 0, &ru);
    Run r;
    r.seconds = secondsSince(start);
    r.peakMB = ru.ru_maxrss * 1024.0 / 1e6;   // Linux: kilobytes
    r.cpu = ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

Run best(const std::vector<std::string> &args, int repeats)
{
    Run b;
    b.seconds = 1e9;
    for (int i = 0; i < repeats; ++i) {
        const Run r = runTool(args);
        if (r.code != 0) {
            std::string line;
            for (const auto &a : args)
                line += " " + a;
            std::fprintf(stderr, "pelldrake-edi%s exited with %d (the data is kept)\n", line.c_str(), r.code);
            std::_Exit(1);
        }
        b.seconds = std::min(b.seconds, r.seconds);
        b.cpu = i == 0 ? r.cpu : std::min(b.cpu, r.cpu);
        b.peakMB = std::max(b.peakMB, r.peakMB);
        b.code = r.code;
    }
    return b;
}

// The largest parsed file of a split (what check holds in memory at most).
double largestGroupMB(const fs::path &input, const fs::path &work)
{
    runTool({"split", input.string(), "--work", work.string()});
    std::uintmax_t largest = 0;
    for (const auto &e : fs::directory_iterator(work / "parsedDir"))
        largest = std::max(largest, e.file_size());
    fs::remove_all(work);
    return largest / 1e6;
}

void checkCase(const fs::path &dir, int groups, int sets, int items, int repeats)
{
    const fs::path input = dir / "interchange.x12";
    const double mb = writeGroups(input, groups, sets, items) / 1e6;
    const double groupMB = largestGroupMB(input, dir / "probe");
    const Run r = best({"check", input.string(), "--work", (dir / "work").string()}, repeats);
    std::printf("check %d x %5d sets %6.1f MB  wall %6.2f s %6.1f MB/s  CPU %5.2f s %6.1f MB/s %5.2f us/set  "
                "peak %5.1f MB = %.2f x largest group (%.1f MB)\n",
                groups, sets, mb, r.seconds, mb / r.seconds, r.cpu, mb / r.cpu, r.cpu * 1e6 / (double(groups) * sets),
                r.peakMB, r.peakMB / groupMB, groupMB);
    std::fflush(stdout);
    fs::remove_all(dir / "work");
    fs::remove(input);
}

void achCase(const fs::path &dir, double mbWanted, int repeats)
{
    const fs::path input = dir / "payment.ach";
    const double mb = writeACHFile(input, static_cast<std::uint64_t>(mbWanted * 1e6)) / 1e6;
    const Run r = best({"ach", input.string(), (dir / "payment.edi").string()}, repeats);
    std::printf("ach %6.1f MB  wall %6.2f s %6.1f MB/s  CPU %5.2f s %6.1f MB/s  peak %5.1f MB = %.2f x the ACH file\n",
                mb, r.seconds, mb / r.seconds, r.cpu, mb / r.cpu, r.peakMB, r.peakMB / mb);
    std::fflush(stdout);
    fs::remove(input);
    fs::remove(dir / "payment.edi");
}

} // namespace

int main(int argc, char **argv)
{
    int repeats = 3;
    fs::path base;
    bool quick = false;
    int pos = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            quick = true;
        else if (std::strcmp(argv[i], "--tool") == 0 && i + 1 < argc)
            g_tool = argv[++i];
        else if (pos++ == 0)
            repeats = std::max(1, std::atoi(argv[i]));
        else
            base = argv[i];
    }
    TempDir dir(base);
    std::printf("pelldrake-edi: %s, best of %d\n", g_tool.c_str(), repeats);
    // Two groups, growing: 21 line items make a set of about 830 bytes, so
    // 60,000 sets a group give the 100 MB interchange.
    constexpr int kItems = 21;
    for (const int sets : {7500, 15000, 30000, 60000}) {
        if (quick && sets > 15000)
            break;
        checkCase(dir.path(), 2, sets, kItems, repeats);
    }
    // The same 20,000 sets as one group and as eight: time per set must not
    // grow with the sets per group.
    checkCase(dir.path(), 1, 20000, kItems, repeats);
    checkCase(dir.path(), 8, 2500, kItems, repeats);
    for (const double mb : {13.5, 27.0, 54.0}) {
        if (quick && mb > 27)
            break;
        achCase(dir.path(), mb, repeats);
    }
    return 0;
}
