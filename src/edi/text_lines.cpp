#include "edi/text_lines.h"

#include "edi/segment_list.h"

#include <algorithm>

namespace fs = std::filesystem;

namespace pelldrake::edi {

LineReader::LineReader(const fs::path &path) : m_path(path), m_file(openFile(path, "rb"))
{
    if (!m_file)
        throw FileError("cannot open \"" + path.string() + "\"");
}

bool LineReader::fill()
{
    if (m_eof)
        return false;
    m_buf.erase(0, m_pos);
    m_pos = 0;
    const std::size_t old = m_buf.size();
    const std::size_t want = std::max<std::size_t>(1 << 16, old);
    m_buf.resize(old + want);
    const std::size_t n = std::fread(m_buf.data() + old, 1, want, m_file.get());
    m_buf.resize(old + n);
    if (n < want) {
        if (std::ferror(m_file.get()))
            throw FileError("cannot read \"" + m_path.string() + "\"");
        m_eof = true;
    }
    return n > 0;
}

bool LineReader::next(std::string_view &line)
{
    for (;;) {
        if (m_skipLF) {
            if (m_pos == m_buf.size() && !fill())
                return false;
            if (m_buf[m_pos] == '\n')
                ++m_pos;
            m_skipLF = false;
        }
        const char *base = m_buf.data();
        const std::size_t n = m_buf.size();
        const std::size_t j = findLineBreak(base, m_pos, n);
        if (j == n && !m_eof) {
            fill(); // the line goes on in the next chunk
            continue;
        }
        if (m_pos == n)
            return false;
        line = std::string_view(base + m_pos, j - m_pos);
        m_sawBreak |= j < n;
        m_pos = j < n ? j + 1 : j;
        if (j < n && base[j] == '\r') {
            if (m_pos < n) {
                if (base[m_pos] == '\n')
                    ++m_pos;
            } else {
                m_skipLF = true;
            }
        }
        return true;
    }
}

std::size_t countFileLines(const fs::path &path)
{
    LineReader r(path);
    std::size_t n = 0;
    std::string_view line;
    while (r.next(line))
        ++n;
    return n;
}

void LineFile::reset(FilePtr f)
{
    m_file = std::move(f);
    m_buf.clear();
    m_failed = false;
}

void LineFile::writeLine(std::string_view text)
{
    if (!m_file)
        return;
    m_buf.append(text);
    m_buf.append("\r\n", 2);
    if (m_buf.size() >= (1u << 16))
        flush();
}

void LineFile::flush()
{
    if (m_file && !m_buf.empty() && std::fwrite(m_buf.data(), 1, m_buf.size(), m_file.get()) != m_buf.size())
        m_failed = true;
    m_buf.clear();
}

bool LineFile::close()
{
    if (!m_file)
        return true;
    flush();
    const bool failed = m_failed || std::ferror(m_file.get()) != 0;
    const bool closed = std::fclose(m_file.release()) == 0;
    m_failed = false;
    return closed && !failed;
}

} // namespace pelldrake::edi
