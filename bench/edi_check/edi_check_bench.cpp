// Times the checker's parseEDIData on a large interchange (with its peak
// memory) and the ACH extraction of a large ACH file.
//   edi_check_bench [INTERCHANGE_MB=100] [ACH_MB=50] [REPEATS=3] [TEMP_BASE]
#include "bench_data.h"

#include "edi/edi_check.h"
#include "edi/from_ach.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace fs = std::filesystem;
using namespace benchdata;

int main(int argc, char **argv)
{
    const double interchangeMB = argc > 1 ? std::atof(argv[1]) : 100;
    const double achMB = argc > 2 ? std::atof(argv[2]) : 50;
    const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    TempDir dir(argc > 4 ? fs::path(argv[4]) : fs::path());
    const fs::path old = fs::current_path();
    fs::current_path(dir.path());

    const auto icBytes = writeInterchange("interchange.x12", static_cast<std::uint64_t>(interchangeMB * 1e6));
    double best = 1e9, bestCpu = 1e9;
    size_t files = 0;
    // Each run splits into a fresh working directory and the files stay until
    // the end: deleting thousands of files right before creating as many makes
    // some file systems (ext4) search long for free inodes, which would time
    // the file system rather than the splitter.
    const std::string input = (dir.path() / "interchange.x12").string();
    for (int r = 0; r < repeats; ++r) {
        const fs::path runDir = dir.path() / ("run" + std::to_string(r));
        fs::create_directory(runDir);
        fs::current_path(runDir);
        pelldrake::edi::TlynEDICheck check;
        check.ediFileName = input;
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpu = std::clock();
        if (!check.parseEDIData()) {
            std::fprintf(stderr, "parseEDIData failed\n");
            return 1;
        }
        best = std::min(best, secondsSince(start));
        bestCpu = std::min(bestCpu, double(std::clock() - cpu) / CLOCKS_PER_SEC);
        std::vector<std::string> list;
        check.loadParsedFiles(list);
        files = list.size();
        fs::current_path(dir.path());
    }
    const double peakMB = peakResidentBytes() / 1e6;
    std::printf("parseEDIData: %.1f MB in %.3f s = %.0f MB/s (CPU %.3f s = %.0f MB/s), %zu parsed files, "
                "peak memory %.1f MB\n",
                icBytes / 1e6, best, icBytes / 1e6 / best, bestCpu, icBytes / 1e6 / bestCpu, files, peakMB);
    fs::remove("interchange.x12");
    for (int r = 0; r < repeats; ++r)
        fs::remove_all(dir.path() / ("run" + std::to_string(r)));

    const auto achBytes = writeACHFile("payments.ach", static_cast<std::uint64_t>(achMB * 1e6));
    best = 1e9;
    bestCpu = 1e9;
    size_t pieces = 0;
    for (int r = 0; r < repeats; ++r) {
        const auto start = std::chrono::steady_clock::now();
        const std::clock_t cpu = std::clock();
        pelldrake::edi::TlynEDIFromACH ach;
        ach.loadACHFile("payments.ach");
        ach.extractEDI();
        ach.saveEDIData("payments.edi");
        best = std::min(best, secondsSince(start));
        bestCpu = std::min(bestCpu, double(std::clock() - cpu) / CLOCKS_PER_SEC);
        pieces = ach.lines().size();
    }
    std::printf("ACH extraction (load, extract, save): %.1f MB in %.3f s = %.0f MB/s (CPU %.3f s = %.0f MB/s), "
                "%zu addenda records\n",
                achBytes / 1e6, best, achBytes / 1e6 / best, bestCpu, achBytes / 1e6 / bestCpu, pieces);
    fs::current_path(old);
    return 0;
}
