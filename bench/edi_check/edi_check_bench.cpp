// Times the checker's parseEDIData on a large interchange (with its peak
// memory) and the ACH extraction of a large ACH file.
//   edi_check_bench [INTERCHANGE_MB=100] [ACH_MB=50] [REPEATS=3]
#include "bench_data.h"

#include "edi/edi_check.h"
#include "edi/from_ach.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;
using namespace benchdata;

int main(int argc, char **argv)
{
    const double interchangeMB = argc > 1 ? std::atof(argv[1]) : 100;
    const double achMB = argc > 2 ? std::atof(argv[2]) : 50;
    const int repeats = argc > 3 ? std::max(1, std::atoi(argv[3])) : 3;
    TempDir dir;
    const fs::path old = fs::current_path();
    fs::current_path(dir.path());

    const auto icBytes = writeInterchange("interchange.x12", static_cast<std::uint64_t>(interchangeMB * 1e6));
    double best = 1e9;
    size_t files = 0;
    {
        pelldrake::edi::TlynEDICheck check;
        check.ediFileName = "interchange.x12";
        for (int r = 0; r < repeats; ++r) {
            const auto start = std::chrono::steady_clock::now();
            if (!check.parseEDIData()) {
                std::fprintf(stderr, "parseEDIData failed\n");
                return 1;
            }
            best = std::min(best, secondsSince(start));
        }
        std::vector<std::string> list;
        check.loadParsedFiles(list);
        files = list.size();
        check.cleanParsedDir();
    }
    const double peakMB = peakResidentBytes() / 1e6;
    std::printf("parseEDIData: %.1f MB in %.3f s = %.0f MB/s, %zu parsed files, peak memory %.1f MB\n",
                icBytes / 1e6, best, icBytes / 1e6 / best, files, peakMB);
    fs::remove("interchange.x12");

    const auto achBytes = writeACHFile("payments.ach", static_cast<std::uint64_t>(achMB * 1e6));
    best = 1e9;
    size_t pieces = 0;
    for (int r = 0; r < repeats; ++r) {
        const auto start = std::chrono::steady_clock::now();
        pelldrake::edi::TlynEDIFromACH ach;
        ach.loadACHFile("payments.ach");
        ach.extractEDI();
        ach.saveEDIData("payments.edi");
        best = std::min(best, secondsSince(start));
        pieces = ach.lines().size();
    }
    std::printf("ACH extraction (load, extract, save): %.1f MB in %.3f s = %.0f MB/s, %zu addenda records\n",
                achBytes / 1e6, best, achBytes / 1e6 / best, pieces);
    fs::current_path(old);
    return 0;
}
