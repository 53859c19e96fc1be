#include "edi/file_util.h"

#include "edi/check_io.h"

#include <system_error>

namespace fs = std::filesystem;

namespace pelldrake::edi {

FilePtr openFile(const fs::path &path, const char *mode)
{
#ifdef _WIN32
    std::wstring wmode;
    for (const char *m = mode; *m; ++m)
        wmode += static_cast<wchar_t>(*m);
    return FilePtr(::_wfopen(path.c_str(), wmode.c_str()));
#else
    return FilePtr(std::fopen(path.c_str(), mode));
#endif
}

bool seekTo(std::FILE *f, std::uint64_t offset)
{
#ifdef _WIN32
    return ::_fseeki64(f, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return ::fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

bool readWholeFile(const fs::path &path, std::string &out)
{
    out.clear();
    FilePtr f = openFile(path, "rb");
    if (!f)
        return false;
    std::error_code ec;
    const auto size = fs::file_size(path, ec);   // a hint only: the file is read to its end
    if (!ec)
        out.reserve(static_cast<std::size_t>(size));
    char buf[1 << 16];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0)
        out.append(buf, n);
    return std::ferror(f.get()) == 0;
}

std::uint64_t fileSize(std::FILE *f)
{
#ifdef _WIN32
    if (::_fseeki64(f, 0, SEEK_END) != 0)
        return 0;
    const long long n = ::_ftelli64(f);
#else
    if (::fseeko(f, 0, SEEK_END) != 0)
        return 0;
    const off_t n = ::ftello(f);
#endif
    return n < 0 ? 0 : static_cast<std::uint64_t>(n);
}

std::vector<std::string> listFileEntries(const std::string &directory)
{
    std::vector<std::string> out;
    std::error_code ec;
    const fs::path dir = io::toPath(directory);
    fs::directory_iterator it(dir, ec);
    if (ec)
        return out;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        std::error_code dirEc;
        if (it->is_directory(dirEc))
            continue;
        out.push_back(io::fromPath(dir / it->path().filename()));
    }
    return out;
}

} // namespace pelldrake::edi
