#include "bench_data.h"

#include <cstdio>
#include <fstream>
#include <random>

#ifdef _WIN32
#include <windows.h>
#include <psapi.h>
#else
#include <sys/resource.h>
#endif

namespace fs = std::filesystem;

namespace benchdata {

namespace {

const char *kIsa = "ISA*00*          *00*          *ZZ*BENCHSENDER    *ZZ*BENCHRECEIVER  "
                   "*261207*0930*U*00401*000000001*0*P*>";

class Writer {
public:
    explicit Writer(const fs::path &file) : m_out(file, std::ios::binary | std::ios::trunc) {}
    void put(const std::string &s)
    {
        m_out << s;
        m_written += s.size();
    }
    std::uint64_t written() const { return m_written; }

private:
    std::ofstream m_out;
    std::uint64_t m_written = 0;
};

std::string num(int n, int width)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*d", width, n);
    return buf;
}

// One purchase order: ST, BEG, REF, DTM, items PO1, CTT, SE (6 + items segments).
std::string purchaseOrder(int set, const std::string &end, int items = 6)
{
    const std::string ctl = num(set % 10000, 4);
    std::string s = "ST*850*" + ctl + end;
    s += "BEG*00*SA*PO" + std::to_string(set) + "**20261207" + end;
    s += "REF*IA*VENDOR" + std::to_string(set % 97) + end;
    s += "DTM*002*20261231" + end;
    for (int i = 1; i <= items; ++i)
        s += "PO1*" + std::to_string(i) + "*" + std::to_string(10 * i) + "*EA*" + std::to_string(i) +
             ".95**VP*ITEM" + std::to_string(set % 1000) + "-" + std::to_string(i) + end;
    s += "CTT*" + std::to_string(items) + end;
    s += "SE*" + std::to_string(items + 6) + "*" + ctl + end;
    return s;
}

} // namespace

std::uint64_t writeInterchange(const fs::path &file, std::uint64_t bytes, int setsPerGroup)
{
    Writer w(file);
    const std::string end = "~\r\n";
    w.put(std::string(kIsa) + end);
    int group = 0, set = 0;
    while (w.written() < bytes) {
        ++group;
        w.put("GS*PO*BENCHSENDER*BENCHRECEIVER*20261207*0930*" + std::to_string(group) + "*X*004010" + end);
        for (int i = 0; i < setsPerGroup; ++i)
            w.put(purchaseOrder(++set, end));
        w.put("GE*" + std::to_string(setsPerGroup) + "*" + std::to_string(group) + end);
    }
    w.put("IEA*" + std::to_string(group) + "*000000001" + end);
    return w.written();
}

std::uint64_t writeGroups(const fs::path &file, int groups, int setsPerGroup, int items)
{
    Writer w(file);
    const std::string end = "~\r\n";
    w.put(std::string(kIsa) + end);
    int set = 0;
    for (int group = 1; group <= groups; ++group) {
        w.put("GS*PO*BENCHSENDER*BENCHRECEIVER*20261207*0930*" + std::to_string(group) + "*X*004010" + end);
        for (int i = 0; i < setsPerGroup; ++i)
            w.put(purchaseOrder(++set, end, items));
        w.put("GE*" + std::to_string(setsPerGroup) + "*" + std::to_string(group) + end);
    }
    w.put("IEA*" + std::to_string(groups) + "*000000001" + end);
    return w.written();
}

std::uint64_t writeParsedFile(const fs::path &file, std::uint64_t bytes)
{
    Writer w(file);
    const std::string end = "\r\n";
    w.put("126\r\n42\r\n>\r\n" + std::string(kIsa) + end);
    w.put("GS*PO*BENCHSENDER*BENCHRECEIVER*20261207*0930*1*X*004010" + end);
    int set = 0;
    while (w.written() < bytes)
        w.put(purchaseOrder(++set, end));
    w.put("GE*" + std::to_string(set) + "*1" + end + "IEA*1*000000001" + end);
    return w.written();
}

std::uint64_t writeACHFile(const fs::path &file, std::uint64_t bytes)
{
    Writer w(file);
    auto record = [&](std::string s) {
        s.resize(94, ' ');
        w.put(s + "\r\n");
    };
    record("101 021000021 0110000152612070930A094101BENCH BANK             PELLDRAKE BENCH CO");
    std::string edi = std::string(kIsa) + "~";
    for (int i = 0; i < 20; ++i)
        edi += purchaseOrder(i + 1, "~");
    int batch = 0;
    while (w.written() < bytes) {
        ++batch;
        record("5220PELLDRAKE BENCH CO                  1234567890CTXVENDOR PAY261207261207   1011000010" +
               num(batch, 6));
        for (int entry = 1; entry <= 10; ++entry) {
            const int pieces = 1 + (entry * 7) % 12;
            record("622021000021987654321        0000125000BENCH" + num(entry, 4) + "       " +
                   num(pieces, 4) + "ACME SUPPLY CO      1011000010000001");
            for (int p = 0; p < pieces; ++p) {
                std::string text = edi.substr((static_cast<size_t>(p) * 80) % (edi.size() - 80), 80);
                w.put("705" + text + num(p + 1, 4) + num(entry, 7) + "\r\n");
            }
        }
        record("822000000300042000042000000000000000001260001234567890                         011000010" +
               num(batch, 6));
    }
    record("9000001000001000000");
    return w.written();
}

TempDir::TempDir(const fs::path &base)
{
    std::random_device rd;
    m_path = (base.empty() ? fs::temp_directory_path() : base) / ("pelldrake-bench-check-" + std::to_string(rd()));
    fs::create_directories(m_path);
}

TempDir::~TempDir()
{
    std::error_code ec;
    fs::remove_all(m_path, ec);
}

std::uint64_t peakResidentBytes()
{
#ifdef _WIN32
    PROCESS_MEMORY_COUNTERS pmc;
    if (GetProcessMemoryInfo(GetCurrentProcess(), &pmc, sizeof pmc))
        return pmc.PeakWorkingSetSize;
    return 0;
#else
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<std::uint64_t>(ru.ru_maxrss) * 1024;   // kilobytes on Linux
#endif
}

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace benchdata
