#pragma once
// Data generators of the checker benchmarks: written in small pieces, so the
// generator never holds more than a few kilobytes.
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

namespace benchdata {

// An interchange of purchase orders, tilde and CR LF after each segment,
// groups of `setsPerGroup` sets, until about `bytes` are written.
std::uint64_t writeInterchange(const std::filesystem::path &file, std::uint64_t bytes, int setsPerGroup = 200);

// An interchange of exactly `groups` groups of `setsPerGroup` purchase orders,
// each with `items` line items (about 45 bytes each; 16 give about 850 bytes a set).
std::uint64_t writeGroups(const std::filesystem::path &file, int groups, int setsPerGroup, int items);

// A parsed file of one group (header lines, ISA, GS, sets, GE, IEA).
std::uint64_t writeParsedFile(const std::filesystem::path &file, std::uint64_t bytes);

// An ACH file of CTX batches whose addenda carry EDI text, CR LF line ends.
std::uint64_t writeACHFile(const std::filesystem::path &file, std::uint64_t bytes);

// A fresh directory below base (default: the system's temporary directory),
// removed on exit.
class TempDir {
public:
    explicit TempDir(const std::filesystem::path &base = {});
    ~TempDir();
    const std::filesystem::path &path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Peak resident memory of this process in bytes (0 where unknown).
std::uint64_t peakResidentBytes();

double secondsSince(std::chrono::steady_clock::time_point start);

} // namespace benchdata
