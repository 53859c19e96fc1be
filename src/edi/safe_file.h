#pragma once
// Files the EDI components write in place of others, and directories they
// clean, without ever following a symbolic link planted there.
#include "edi/file_util.h"

#include <filesystem>
#include <string_view>

namespace pelldrake::edi {

// Writes a file under a temporary name, created exclusively beside the target,
// and renames it over the target only when complete: a failed or interrupted
// write leaves the old file (or none) and never a partial one; a symbolic link
// at the target is replaced, its target never written.
class ReplacingFile {
public:
    // Throws FileError when no temporary file can be created beside target.
    explicit ReplacingFile(std::filesystem::path target);
    ~ReplacingFile(); // without commit(): the temporary file is removed
    ReplacingFile(const ReplacingFile &) = delete;
    ReplacingFile &operator=(const ReplacingFile &) = delete;

    std::FILE *get() const { return m_file.get(); }
    // False once any write failed.
    bool write(std::string_view bytes);
    // Flushes, closes and renames; throws FileError naming the target on failure.
    void commit();

private:
    std::filesystem::path m_target;
    std::filesystem::path m_temp;
    FilePtr m_file;
    bool m_failed = false;
};

// True when path itself is a symbolic link (not followed).
bool isSymlink(const std::filesystem::path &path);

// True when a and b name the same file: by identity when both exist (links and
// other spellings included), else by their absolute, normalised names.
bool sameFile(const std::filesystem::path &a, const std::filesystem::path &b);

// True when file lies directly in directory (by the directory's identity),
// after following file's symbolic links: a link to a file in directory lies
// in it too.
bool liesIn(const std::filesystem::path &file, const std::filesystem::path &directory);

// A new directory beside target named target's name + ".tmp" + digits, created
// exclusively. Throws FileError with the system's reason.
std::filesystem::path createTemporaryDirectoryBeside(const std::filesystem::path &target);

// Removes what a killed run left beside target under its temporary names
// (target's name + ".tmp" + digits): files, links (never followed) and
// directories. Only for a caller that holds the directory's WorkLock, so that
// no other run can be writing them.
void removeStaleTemporaries(const std::filesystem::path &target);

// Deletes the regular files directly in dir, never following a link: when dir
// itself is a symbolic link nothing is deleted and false is returned; links
// and subdirectories inside are left. True also when dir does not exist.
bool removeRegularFilesIn(const std::filesystem::path &dir);

} // namespace pelldrake::edi
