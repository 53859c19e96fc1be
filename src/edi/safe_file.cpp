#include "edi/safe_file.h"

#include <random>
#include <string>
#include <system_error>
#include <vector>

#ifndef _WIN32
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace pelldrake::edi {

ReplacingFile::ReplacingFile(fs::path target) : m_target(std::move(target))
{
    // A device or a pipe (/dev/stdout, a FIFO) is written into as it is: it
    // cannot be renamed over, and replacing it would be wrong.
    std::error_code sec;
    const fs::file_status st = fs::status(m_target, sec);
    if (fs::exists(st) && !fs::is_regular_file(st) && !fs::is_directory(st)) {
        m_file = openFile(m_target, "wb");
        if (!m_file)
            throw FileError("cannot write \"" + m_target.string() + "\"");
        return;
    }
    std::random_device rd;
    for (int i = 0; i < 100 && !m_file; ++i) {
        m_temp = m_target.parent_path() / ("." + m_target.filename().string());
        m_temp += ".tmp" + std::to_string(rd() % 1000000000u);
        m_file = openFile(m_temp, "wbx");
        std::error_code ec;
        if (!m_file && !fs::exists(fs::symlink_status(m_temp, ec)))
            break; // not a taken name: the directory is not writable
    }
    if (!m_file) {
        m_temp.clear();
        throw FileError("cannot create \"" + m_target.string() + "\"");
    }
}

ReplacingFile::~ReplacingFile()
{
    if (m_file) {
        m_file.reset();
        std::error_code ec;
        if (!m_temp.empty())
            fs::remove(m_temp, ec);
    }
}

bool ReplacingFile::write(std::string_view bytes)
{
    if (m_file && !m_failed && !bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), m_file.get()) != bytes.size())
        m_failed = true;
    return !m_failed;
}

void ReplacingFile::commit()
{
    bool ok = !m_failed && std::fflush(m_file.get()) == 0 && std::ferror(m_file.get()) == 0;
#ifndef _WIN32
    ok = ok && (m_temp.empty() || ::fsync(::fileno(m_file.get())) == 0);
#endif
    ok = std::fclose(m_file.release()) == 0 && ok;
    std::error_code ec;
    if (m_temp.empty()) {
        if (!ok)
            throw FileError("cannot write \"" + m_target.string() + "\"");
        return;
    }
    if (ok)
        fs::rename(m_temp, m_target, ec);
    if (!ok || ec) {
        fs::remove(m_temp, ec);
        throw FileError("cannot write \"" + m_target.string() + "\"");
    }
}

bool isSymlink(const fs::path &path)
{
    std::error_code ec;
    return fs::is_symlink(fs::symlink_status(path, ec));
}

bool sameFile(const fs::path &a, const fs::path &b)
{
    std::error_code ea, eb;
    const bool aExists = fs::exists(a, ea);
    const bool bExists = fs::exists(b, eb);
    if (aExists && bExists) {
        std::error_code ec;
        return fs::equivalent(a, b, ec);
    }
    std::error_code ec1, ec2;
    return fs::weakly_canonical(fs::absolute(a), ec1) == fs::weakly_canonical(fs::absolute(b), ec2);
}

bool liesIn(const fs::path &file, const fs::path &directory)
{
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(fs::absolute(file), ec);
    if (ec)
        resolved = fs::absolute(file);
    return sameFile(resolved.parent_path(), directory)
        || sameFile(fs::absolute(file).parent_path(), directory);
}

namespace {

// name is base + ".tmp" + one or more digits.
bool isTemporaryName(const std::string &name, const std::string &base)
{
    const std::string prefix = base + ".tmp";
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
        return false;
    return name.find_first_not_of("0123456789", prefix.size()) == std::string::npos;
}

} // namespace

fs::path createTemporaryDirectoryBeside(const fs::path &target)
{
    std::random_device rd;
    for (int i = 0; i < 100; ++i) {
        fs::path p = target;
        p += ".tmp" + std::to_string(rd() % 1000000000u);
        std::error_code ec;
        if (fs::create_directory(p, ec))
            return p;
        if (ec)
            throw FileError("cannot create \"" + p.string() + "\": " + ec.message(), ec.value());
    }
    throw FileError("no free temporary name beside \"" + target.string() + "\"");
}

void removeStaleTemporaries(const fs::path &target)
{
    const std::string base = target.filename().string();
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::error_code ec;
    std::vector<fs::path> stale;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        if (isTemporaryName(it->path().filename().string(), base))
            stale.push_back(it->path());
    for (const fs::path &p : stale) {
        std::error_code rc;
        // remove_all takes a link away, never what it points to.
        fs::remove_all(p, rc);
    }
}

bool removeRegularFilesIn(const fs::path &dir)
{
#ifdef _WIN32
    std::error_code ec;
    if (isSymlink(dir))
        return false;
    fs::directory_iterator it(dir, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code fileEc;
        if (it->symlink_status(fileEc).type() == fs::file_type::regular)
            fs::remove(it->path(), fileEc);
    }
    return true;
#else
    // The directory is opened without following a link, and its entries are
    // looked at and removed relative to that open directory, so swapping the
    // name for a link meanwhile changes nothing.
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    DIR *d = ::fdopendir(fd);
    if (!d) {
        ::close(fd);
        return true;
    }
    while (const dirent *e = ::readdir(d)) {
        const std::string_view name(e->d_name);
        if (name == "." || name == "..")
            continue;
        struct stat st {};
        if (::fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(fd, e->d_name, 0);
    }
    ::closedir(d);
    return true;
#endif
}

} // namespace pelldrake::edi
