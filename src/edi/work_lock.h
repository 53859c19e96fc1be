#pragma once
// An exclusive hold on a working directory of the EDI components (the
// checker's parsed directory and store, the reader's work file), so that two
// runs never empty, fill or list each other's files.
//
// The hold is an OS lock on a lock file that stays open for the lifetime of the
// WorkLock: it goes with the process on every path, crash included. A second
// process (or a second tool run) gets WorkLockedError at once instead of
// waiting. Within one process, holds of the same lock file share one OS lock,
// so a tool that holds the directory for a whole command can call the
// component operations, which hold it for each operation, without deadlock.
#include "edi/file_util.h"

#include <filesystem>
#include <memory>

namespace pelldrake::edi {

class WorkLockedError : public FileError {
public:
    using FileError::FileError;
};

class WorkLock {
public:
    // Locks lockFile (created when missing; a symbolic link there is refused).
    // Throws WorkLockedError when another process holds it, FileError when it
    // cannot be created.
    explicit WorkLock(const std::filesystem::path &lockFile);
    ~WorkLock();
    WorkLock(const WorkLock &) = delete;
    WorkLock &operator=(const WorkLock &) = delete;

    struct Held;

private:
    std::shared_ptr<Held> m_held;
};

} // namespace pelldrake::edi
