#pragma once
// Small file helpers of the checker and the ACH extractor: UTF-8 names become
// paths portably, and C streams are closed by their owner on every way out.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

namespace pelldrake::edi::io {

inline std::filesystem::path toPath(const std::string &utf8)
{
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

inline std::string fromPath(const std::filesystem::path &p)
{
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

struct FileCloser {
    void operator()(std::FILE *f) const { if (f) std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// mode as for fopen; "x" in it asks for exclusive creation.
inline FilePtr openFile(const std::filesystem::path &path, const char *mode)
{
#ifdef _WIN32
    const std::wstring wmode(mode, mode + std::strlen(mode));
    return FilePtr(_wfopen(path.c_str(), wmode.c_str()));
#else
    return FilePtr(std::fopen(path.c_str(), mode));
#endif
}

} // namespace pelldrake::edi::io
