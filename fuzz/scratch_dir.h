#pragma once
// The fuzz targets' private working space: one scratch directory per process
// below the directory the process started in, and a guard that makes a
// directory current for one input and always goes back.
// scripts/fuzz.sh and the corpus replays start every target in a temporary
// directory of its own and remove it afterwards, so a scratch directory left
// by a fuzzer that stops without running destructors goes with it.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

namespace fuzzing {

namespace fs = std::filesystem;

class ScratchDir {
public:
    explicit ScratchDir(const std::string &tag)
    {
        std::random_device rd;
        do
            m_path = fs::current_path() / ("pelldrake-fuzz-" + tag + "-" + std::to_string(rd()));
        while (!fs::create_directories(m_path));
    }
    ~ScratchDir()
    {
        std::error_code ec;
        fs::remove_all(m_path, ec);
    }
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    const fs::path &path() const { return m_path; }

private:
    fs::path m_path;
};

class CurrentDir {
public:
    explicit CurrentDir(const fs::path &dir) : m_old(fs::current_path()) { fs::current_path(dir); }
    ~CurrentDir()
    {
        std::error_code ec;
        fs::current_path(m_old, ec);
    }
    CurrentDir(const CurrentDir &) = delete;
    CurrentDir &operator=(const CurrentDir &) = delete;

private:
    fs::path m_old;
};

// Writes the fuzzer's input bytes to a file, replacing what was there.
inline void writeInput(const fs::path &file, const std::uint8_t *data, std::size_t size)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
}

} // namespace fuzzing
