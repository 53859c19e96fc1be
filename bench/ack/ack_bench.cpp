// ack_bench [MB=100] [DIR]: writes an X12 file of about MB megabytes (one
// interchange, groups of 1,000 purchase orders, at least 10,000 sets, one in
// a hundred with a bad date), then times as child processes:
//   pelldrake-edi ack FILE --detail full     (time, peak memory)
//   pelldrake-edi to-json FILE --out J       (MB of X12 per second)
//   pelldrake-edi from-json J --out BACK     (MB of X12 per second), BACK == FILE
// DIR (a temporary folder when not given) is removed afterwards.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ChildRun {
    int status = -1;
    double seconds = 0;
    double cpu = 0;   // user + system
    double peakMB = 0;
};

ChildRun runTool(const std::vector<std::string> &args)
{
    std::vector<char *> argv;
    std::string tool = PELLDRAKE_EDI_TOOL;
    argv.push_back(tool.data());
    std::vector<std::string> copy = args;
    for (std::string &a : copy)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (!freopen("/dev/null", "w", stdout))
            _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }
    ChildRun r;
    rusage ru{};
    wait4(pid, &r.status, 0, &ru);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    r.peakMB = ru.ru_maxrss * 1024.0 / 1e6;   // Linux: kilobytes
    r.cpu = ru.ru_utime.tv_sec + ru.ru_stime.tv_sec + (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
    return r;
}

std::uint64_t writeInput(const fs::path &file, std::uint64_t bytes, int &sets)
{
    std::FILE *f = std::fopen(file.c_str(), "wb");
    const std::string isa = "ISA*00*          *00*          *ZZ*BUYER          *ZZ*SELLER         *261207*0930*U*"
                            "00401*000000001*0*P*>~\n";
    std::string out = isa;
    std::uint64_t written = 0;
    const int kSetsPerGroup = 1000;
    sets = 0;
    int groups = 0;
    // About this many PO1 lines per set for bytes in at least 10,000 sets.
    const int lines = std::max<int>(1, static_cast<int>(bytes / 10000 / 36));
    while (written + out.size() < bytes || sets < 10000) {
        const std::string gs = std::to_string(++groups);
        out += "GS*PO*BUYERAPP*SELLERAPP*20261207*0930*" + gs + "*X*004010~\n";
        for (int s = 0; s < kSetsPerGroup; ++s) {
            char st[16];
            std::snprintf(st, sizeof st, "%04d", s + 1);
            ++sets;
            out += std::string("ST*850*") + st + "~\nBEG*00*SA*PO" + std::to_string(sets) + "**" +
                   (sets % 100 == 0 ? "20261399" : "20261207") + "~\n";
            for (int i = 0; i < lines; ++i)
                out += "PO1*" + std::to_string(i + 1) + "*10*EA*9.95**VP*W" + std::to_string(i) + "~\n";
            out += "SE*" + std::to_string(lines + 3) + "*" + st + "~\n";
            if (out.size() > (1 << 20)) {
                written += std::fwrite(out.data(), 1, out.size(), f);
                out.clear();
            }
        }
        out += "GE*" + std::to_string(kSetsPerGroup) + "*" + gs + "~\n";
    }
    out += "IEA*" + std::to_string(groups) + "*000000001~\n";
    written += std::fwrite(out.data(), 1, out.size(), f);
    std::fclose(f);
    return written;
}

bool sameContent(const fs::path &a, const fs::path &b)
{
    std::ifstream x(a, std::ios::binary), y(b, std::ios::binary);
    std::vector<char> bx(1 << 20), by(1 << 20);
    for (;;) {
        x.read(bx.data(), static_cast<std::streamsize>(bx.size()));
        y.read(by.data(), static_cast<std::streamsize>(by.size()));
        if (x.gcount() != y.gcount() || !std::equal(bx.begin(), bx.begin() + x.gcount(), by.begin()))
            return false;
        if (x.gcount() == 0)
            return true;
    }
}

} // namespace

int main(int argc, char **argv)
{
    const std::uint64_t mb = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100;
    const bool temporary = argc <= 2;
    const fs::path dir = temporary ? fs::temp_directory_path() / ("ack-bench-" + std::to_string(std::random_device{}()))
                                   : fs::path(argv[2]);
    fs::create_directories(dir);
    const fs::path input = dir / "input.x12";
    int sets = 0;
    const std::uint64_t bytes = writeInput(input, mb * 1000000, sets);
    std::printf("input: %.1f MB, %d transaction sets\n", bytes / 1e6, sets);

    const ChildRun ack = runTool({"ack", input.string(), "--out", (dir / "out").string(), "--state",
                                  (dir / "state").string(), "--detail", "full"});
    std::printf("ack --detail full: %.2f s (CPU %.2f s), peak %.1f MB, exit %d\n", ack.seconds, ack.cpu, ack.peakMB,
                WIFEXITED(ack.status) ? WEXITSTATUS(ack.status) : -1);

    // Throughput with the output going to /dev/null, then through files for
    // the byte-for-byte comparison.
    const fs::path json = dir / "input.json", back = dir / "back.x12";
    const ChildRun to = runTool({"to-json", input.string()});
    std::printf("to-json: %.2f s (CPU %.2f s), %.0f MB/s of X12 (CPU: %.0f MB/s), peak %.1f MB\n", to.seconds, to.cpu,
                bytes / 1e6 / to.seconds, bytes / 1e6 / to.cpu, to.peakMB);
    const ChildRun toFile = runTool({"to-json", input.string(), "--out", json.string()});
    const ChildRun from = runTool({"from-json", json.string()});
    std::printf("from-json: %.2f s (CPU %.2f s), %.0f MB/s of X12 (CPU: %.0f MB/s), JSON %.1f MB, peak %.1f MB\n",
                from.seconds, from.cpu, bytes / 1e6 / from.seconds, bytes / 1e6 / from.cpu, fs::file_size(json) / 1e6,
                from.peakMB);
    const ChildRun fromFile = runTool({"from-json", json.string(), "--out", back.string()});
    std::printf("through files: to-json %.2f s, from-json %.2f s; X12 -> JSON -> X12 identical: %s\n",
                toFile.seconds, fromFile.seconds, sameContent(input, back) ? "yes" : "NO");
    if (temporary)
        fs::remove_all(dir);
    return 0;
}
