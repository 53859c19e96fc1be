// Times the checker's loadEDIData of a parsed file with a real QProgressBar
// (offscreen unless a platform is chosen).
//   edi_check_load_bench [PARSED_MB=5] [REPEATS=3] [TEMP_BASE]
#include "bench_data.h"

#include "edi/edi_check.h"
#include "edi/widgets/progress_bar.h"

#include <QApplication>
#include <QProgressBar>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace fs = std::filesystem;
using namespace benchdata;

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    const double parsedMB = argc > 1 ? std::atof(argv[1]) : 5;
    const int repeats = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    TempDir dir(argc > 3 ? fs::path(argv[3]) : fs::path());
    const fs::path old = fs::current_path();
    fs::current_path(dir.path());

    const auto bytes = writeParsedFile("group.edi", static_cast<std::uint64_t>(parsedMB * 1e6));
    QProgressBar bar;
    bar.resize(400, 24);
    bar.show();
    pelldrake::edi::ProgressBarAdapter adapter(&bar);
    double best = 1e9, bestCpu = 1e9;
    int sets = 0;
    {
        pelldrake::edi::TlynEDICheck check;
        check.elementSeparator.assign(1, '*');
        for (int r = 0; r < repeats; ++r) {
            const auto start = std::chrono::steady_clock::now();
            const std::clock_t cpu = std::clock();
            check.loadEDIData("group.edi", &adapter);
            best = std::min(best, secondsSince(start));
            bestCpu = std::min(bestCpu, double(std::clock() - cpu) / CLOCKS_PER_SEC);
            sets = check.transactionSetCount;
        }
    }
    std::printf("loadEDIData with QProgressBar: %.1f MB in %.3f s = %.0f MB/s (CPU %.3f s = %.0f MB/s), "
                "%d transaction sets, bar at %d of %d\n",
                bytes / 1e6, best, bytes / 1e6 / best, bestCpu, bytes / 1e6 / bestCpu, sets, bar.value(),
                bar.maximum());
    fs::current_path(old);
    return 0;
}
