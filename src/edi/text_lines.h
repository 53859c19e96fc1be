// Text files read and written line by line in bounded memory.
#pragma once

#include "edi/file_util.h"

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

namespace pelldrake::edi {

// Reads a text file line by line in bounded memory: lines end at CR, LF or
// CR LF (as splitLines and forEachLine), a final line break adds no empty line.
class LineReader {
public:
    // Throws FileError when the file cannot be opened.
    explicit LineReader(const std::filesystem::path &path);
    // The next line (valid until the next call); false at the end. Throws
    // FileError when the file cannot be read.
    bool next(std::string_view &line);
    // True once a line ended with a line break.
    bool sawLineBreak() const { return m_sawBreak; }

private:
    bool fill();

    std::filesystem::path m_path;
    FilePtr m_file;
    std::string m_buf;
    std::size_t m_pos = 0;
    bool m_eof = false;
    bool m_skipLF = false; // the last line ended with a CR at the end of the buffer
    bool m_sawBreak = false;
};

// Counts the lines of a file as LineReader reads them.
std::size_t countFileLines(const std::filesystem::path &path);

// A text file written line by line, each line ended by CR LF, through a buffer
// of its own (one write per 64 KB rather than two per line).
class LineFile {
public:
    // Starts writing to f (closing a file written before without its check).
    void reset(FilePtr f = {});
    explicit operator bool() const { return static_cast<bool>(m_file); }
    // Does nothing while no file is open.
    void writeLine(std::string_view text);
    // Flushes and closes; false when some of the text did not reach the file.
    bool close();

private:
    void flush();

    FilePtr m_file;
    std::string m_buf;
    bool m_failed = false;
};

} // namespace pelldrake::edi
