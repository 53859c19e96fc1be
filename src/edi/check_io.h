#pragma once
// UTF-8 names to paths and back, portably (Windows paths are wide).
#include <filesystem>
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

} // namespace pelldrake::edi::io
