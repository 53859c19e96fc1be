#include "edi/from_ach.h"

#include "edi/check_io.h"
#include "edi/palette.h"
#include "edi/safe_file.h"
#include "edi/text_lines.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <system_error>

namespace pelldrake::edi {

namespace fs = std::filesystem;

namespace {

using io::toPath;

// First CR or LF at or after pos (npos when none). Two memchr scans beat
// find_first_of, which tests the set once per character.
size_t findLineBreak(const std::string &text, size_t pos)
{
    const char *base = text.data();
    const size_t n = text.size();
    if (pos >= n)
        return std::string::npos;
    const void *lf = std::memchr(base + pos, '\n', n - pos);
    const size_t lfPos = lf ? static_cast<size_t>(static_cast<const char *>(lf) - base) : n;
    const void *cr = std::memchr(base + pos, '\r', lfPos - pos);
    if (cr)
        return static_cast<size_t>(static_cast<const char *>(cr) - base);
    return lf ? lfPos : std::string::npos;
}

} // namespace

std::vector<std::string> TlynEDIFromACH::splitRecords(const std::string &text)
{
    std::vector<std::string> lines;
    size_t end = findLineBreak(text, 0);
    if (end == std::string::npos) {
        // Records back to back without line ends.
        lines.reserve(text.size() / kRecordLength + 1);
        for (size_t pos = 0; pos < text.size(); pos += kRecordLength)
            lines.emplace_back(text, pos, kRecordLength);
        return lines;
    }
    lines.reserve(text.size() / (kRecordLength + 1) + 1);
    size_t pos = 0;
    while (pos < text.size()) {
        if (end == std::string::npos) {
            lines.emplace_back(text, pos, std::string::npos);
            break;
        }
        lines.emplace_back(text, pos, end - pos);
        pos = end + 1;
        if (text[end] == '\r' && pos < text.size() && text[pos] == '\n')
            ++pos;
        end = findLineBreak(text, pos);
    }
    return lines;
}

void TlynEDIFromACH::clear()
{
    m_lines.clear();
    std::string().swap(m_text);
    std::vector<std::size_t>().swap(m_ends);
    m_packed = false;
}

void TlynEDIFromACH::materialize() const
{
    if (!m_packed)
        return;
    m_lines.clear();
    m_lines.reserve(m_ends.size());
    std::size_t from = 0;
    for (const std::size_t end : m_ends) {
        m_lines.emplace_back(m_text, from, end - from);
        from = end;
    }
    std::string().swap(m_text);
    std::vector<std::size_t>().swap(m_ends);
    m_packed = false;
}

const std::vector<std::string> &TlynEDIFromACH::lines() const
{
    materialize();
    return m_lines;
}

std::vector<std::string> &TlynEDIFromACH::lines()
{
    materialize();
    return m_lines;
}

std::size_t TlynEDIFromACH::lineCount() const { return m_packed ? m_ends.size() : m_lines.size(); }

std::size_t TlynEDIFromACH::textSize() const
{
    if (m_packed)
        return m_text.size();
    std::size_t n = 0;
    for (const auto &line : m_lines)
        n += line.size();
    return n;
}

void TlynEDIFromACH::loadACHFile(const std::string &fileName)
{
    clear();
    const fs::path path = toPath(fileName);
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found)
        return;
    if (st.type() != fs::file_type::regular)
        throw FileError("cannot read \"" + fileName + "\": not a file");
    const auto size = fs::file_size(path, ec);
    LineReader reader(path); // throws FileError when it cannot be opened or read
    if (!ec) {
        m_text.reserve(static_cast<std::size_t>(size));
        m_ends.reserve(static_cast<std::size_t>(size / (kRecordLength + 1) + 1));
    }
    std::string_view line;
    while (reader.next(line)) {
        m_text.append(line);
        m_ends.push_back(m_text.size());
    }
    if (!reader.sawLineBreak() && !m_text.empty()) {
        // Records back to back without line ends.
        m_ends.clear();
        for (std::size_t end = kRecordLength; end < m_text.size(); end += kRecordLength)
            m_ends.push_back(end);
        m_ends.push_back(m_text.size());
    }
    m_packed = true;
}

void TlynEDIFromACH::extractEDI()
{
    if (m_packed) {
        // In place: each kept piece moves to the front of the buffer.
        std::size_t from = 0, out = 0, kept = 0;
        for (const std::size_t end : m_ends) {
            std::string_view line(m_text.data() + from, end - from);
            from = end;
            if (line.empty() || line[0] != '7')
                continue;
            line.remove_prefix(std::min<std::size_t>(3, line.size()));
            line.remove_suffix(line.size() > 11 ? 11 : line.size());
            std::memmove(m_text.data() + out, line.data(), line.size());
            out += line.size();
            m_ends[kept++] = out;
        }
        m_text.resize(out);
        m_ends.resize(kept);
        return;
    }
    std::erase_if(m_lines, [](const std::string &line) { return line.empty() || line[0] != '7'; });
    for (std::string &line : m_lines) {
        line.erase(0, std::min<size_t>(3, line.size()));
        line.resize(line.size() > 11 ? line.size() - 11 : 0);
    }
}

void TlynEDIFromACH::saveEDIData(const std::string &fileName) const
{
    trySaveEDIData(fileName);
}

bool TlynEDIFromACH::trySaveEDIData(const std::string &fileName) const
{
    // Binary: the pieces are written exactly, with no line ends anywhere.
    try {
        ReplacingFile out(toPath(fileName));
        bool ok = true;
        if (m_packed) {
            ok = out.write(m_text);
        } else {
            std::string buf;
            buf.reserve(1 << 20);
            for (const std::string &line : m_lines) {
                buf += line;
                if (buf.size() >= (1 << 20)) {
                    ok = ok && out.write(buf);
                    buf.clear();
                }
            }
            ok = ok && out.write(buf);
        }
        if (!ok)
            return false;
        out.commit();
        return true;
    } catch (const FileError &) {
        return false;
    }
}

void TlynEDIFromACH::storeCopyOfACH(const std::string &source, const std::string &destination)
{
    FilePtr in = openFile(toPath(source), "rb");
    if (!in)
        throw std::runtime_error("Cannot open file \"" + source + "\"");
    std::error_code ec;
    const auto size = fs::file_size(toPath(source), ec);
    if (ec)
        throw std::runtime_error("Cannot open file \"" + source + "\": " + ec.message());
    // A copy onto the source itself (another spelling, a link) is already there.
    if (sameFile(toPath(source), toPath(destination)))
        return;
    std::unique_ptr<ReplacingFile> out;
    try {
        out = std::make_unique<ReplacingFile>(toPath(destination));
    } catch (const FileError &) {
        throw std::runtime_error("Cannot create file \"" + destination + "\"");
    }
    std::vector<char> buf(1 << 16);
    std::uintmax_t left = size;
    while (left > 0) {
        const size_t want = static_cast<size_t>(std::min<std::uintmax_t>(left, buf.size()));
        const size_t got = std::fread(buf.data(), 1, want, in.get());
        if (got == 0)
            break;   // the source shrank while copying: keep what was there
        if (!out->write(std::string_view(buf.data(), got)))
            throw std::runtime_error("Cannot write file \"" + destination + "\"");
        left -= got;
    }
    if (std::ferror(in.get()))
        throw std::runtime_error("Cannot read file \"" + source + "\"");
    try {
        out->commit();
    } catch (const FileError &) {
        throw std::runtime_error("Cannot write file \"" + destination + "\"");
    }
}

namespace lynEDIFromACH {
void Register() { registerComponent(kPalettePage, "TlynEDIFromACH"); }
} // namespace lynEDIFromACH

} // namespace pelldrake::edi
