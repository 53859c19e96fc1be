#include "edi/work_lock.h"

#include <map>
#include <mutex>
#include <string>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace pelldrake::edi {

struct WorkLock::Held {
#ifdef _WIN32
    HANDLE handle = INVALID_HANDLE_VALUE;
    ~Held()
    {
        if (handle != INVALID_HANDLE_VALUE)
            ::CloseHandle(handle);
    }
#else
    int fd = -1;
    ~Held()
    {
        if (fd >= 0)
            ::close(fd); // releases the flock
    }
#endif
};

namespace {

std::mutex &registryMutex()
{
    static std::mutex m;
    return m;
}

// The holds of this process, by lock file.
std::map<std::string, std::weak_ptr<WorkLock::Held>> &registry()
{
    static std::map<std::string, std::weak_ptr<WorkLock::Held>> r;
    return r;
}

std::string busyMessage(const fs::path &lockFile)
{
    return "the working directory \"" + lockFile.parent_path().string()
        + "\" is in use by another run (it holds \"" + lockFile.filename().string()
        + "\"); wait for it to finish or use another working directory";
}

} // namespace

WorkLock::WorkLock(const fs::path &lockFile)
{
    std::error_code ec;
    fs::path key = fs::weakly_canonical(fs::absolute(lockFile, ec), ec);
    if (ec)
        key = fs::absolute(lockFile);
    std::lock_guard<std::mutex> guard(registryMutex());
    auto &slot = registry()[key.string()];
    if ((m_held = slot.lock()))
        return;
    auto held = std::make_shared<Held>();
#ifdef _WIN32
    // No sharing: a second open fails while this handle is open.
    held->handle = ::CreateFileW(key.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (held->handle == INVALID_HANDLE_VALUE) {
        if (::GetLastError() == ERROR_SHARING_VIOLATION)
            throw WorkLockedError(busyMessage(key));
        throw FileError("cannot create the lock file \"" + key.string() + "\"");
    }
#else
    held->fd = ::open(key.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (held->fd < 0)
        throw FileError("cannot create the lock file \"" + key.string() + "\": " + std::strerror(errno));
    if (::flock(held->fd, LOCK_EX | LOCK_NB) != 0) {
        const int err = errno;
        if (err == EWOULDBLOCK || err == EAGAIN)
            throw WorkLockedError(busyMessage(key));
        throw FileError("cannot lock \"" + key.string() + "\": " + std::strerror(err));
    }
#endif
    slot = held;
    m_held = std::move(held);
}

WorkLock::~WorkLock()
{
    std::lock_guard<std::mutex> guard(registryMutex());
    m_held.reset();
}

} // namespace pelldrake::edi
