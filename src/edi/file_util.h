// Files of the EDI components: opened by UTF-8 name on every platform, read
// whole, listed; FileError for a file the caller must know about.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace pelldrake::edi {

// A file that cannot be opened, created or written where the caller must know.
class FileError : public std::runtime_error {
public:
    explicit FileError(const std::string &what, int error = 0) : std::runtime_error(what), m_error(error) {}
    // errno of the call that failed; 0 when not known.
    int error() const { return m_error; }

private:
    int m_error;
};

struct FileCloser {
    void operator()(std::FILE *f) const
    {
        if (f)
            std::fclose(f);
    }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// fopen for a filesystem path on every platform ("x" in mode: create exclusively).
FilePtr openFile(const std::filesystem::path &path, const char *mode);
bool seekTo(std::FILE *f, std::uint64_t offset);
// The whole content of a file, as bytes; false when it cannot be opened or read.
bool readWholeFile(const std::filesystem::path &path, std::string &out);

// The size of an open file; moves its position to the end. 0 when unknown.
std::uint64_t fileSize(std::FILE *f);

// Full paths (directory + separator + name) of the file entries of directory,
// in listing order, subdirectories left out; empty when it cannot be listed.
// Names in and out are UTF-8, as everywhere in the EDI components.
std::vector<std::string> listFileEntries(const std::string &directory);

} // namespace pelldrake::edi
