#pragma once
// Helpers of the checker tests: a fresh temporary directory per test that is
// also the working directory while the test runs, and whole-file reads/writes.
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace checktest {

namespace fs = std::filesystem;

class TempDir {
public:
    TempDir()
    {
        std::random_device rd;
        for (int i = 0; i < 100; ++i) {
            m_path = fs::temp_directory_path() / ("pelldrake-check-" + std::to_string(rd()));
            if (fs::create_directory(m_path))
                break;
        }
        m_old = fs::current_path();
        fs::current_path(m_path);
    }
    ~TempDir()
    {
        std::error_code ec;
        fs::current_path(m_old, ec);
        fs::remove_all(m_path, ec);
    }
    TempDir(const TempDir &) = delete;
    TempDir &operator=(const TempDir &) = delete;

    const fs::path &path() const { return m_path; }
    std::string file(const std::string &name) const { return (m_path / name).string(); }

private:
    fs::path m_path;
    fs::path m_old;
};

inline void writeFile(const fs::path &p, const std::string &bytes)
{
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline std::string readFile(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline fs::path samplesDir() { return fs::path(PELLDRAKE_SAMPLES_DIR); }

} // namespace checktest
