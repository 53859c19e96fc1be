#include "edi/from_ach.h"

#include "edi/check_io.h"
#include "edi/interchange_splitter.h"
#include "edi/palette.h"

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

void TlynEDIFromACH::loadACHFile(const std::string &fileName)
{
    m_lines.clear();
    std::string text;
    try {
        std::error_code ec;
        if (!fs::is_regular_file(toPath(fileName), ec) || !readWholeFile(toPath(fileName), text))
            return;
        m_lines = splitRecords(text);
    } catch (const std::exception &) {
        m_lines.clear();
    }
}

void TlynEDIFromACH::extractEDI()
{
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
    // Binary mode: the pieces are written exactly, with no line ends anywhere.
    FilePtr f = openFile(toPath(fileName), "wb");
    if (!f)
        return false;
    std::string buf;
    buf.reserve(1 << 20);
    bool ok = true;
    for (const std::string &line : m_lines) {
        buf += line;
        if (buf.size() >= (1 << 20)) {
            ok = ok && std::fwrite(buf.data(), 1, buf.size(), f.get()) == buf.size();
            buf.clear();
        }
    }
    ok = ok && std::fwrite(buf.data(), 1, buf.size(), f.get()) == buf.size();
    return std::fclose(f.release()) == 0 && ok;
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
    // A copy onto the source itself (another spelling, a link) is already
    // there; opening the destination for writing would empty the source.
    if (fs::equivalent(toPath(source), toPath(destination), ec) && !ec)
        return;
    FilePtr out = openFile(toPath(destination), "wb");   // truncates a longer old file
    if (!out)
        throw std::runtime_error("Cannot create file \"" + destination + "\"");

    std::vector<char> buf(1 << 16);
    std::uintmax_t left = size;
    while (left > 0) {
        const size_t want = static_cast<size_t>(std::min<std::uintmax_t>(left, buf.size()));
        const size_t got = std::fread(buf.data(), 1, want, in.get());
        if (got == 0)
            break;   // the source shrank while copying: keep what was there
        if (std::fwrite(buf.data(), 1, got, out.get()) != got)
            throw std::runtime_error("Cannot write file \"" + destination + "\"");
        left -= got;
    }
    if (std::ferror(in.get()))
        throw std::runtime_error("Cannot read file \"" + source + "\"");
    if (std::fflush(out.get()) != 0)
        throw std::runtime_error("Cannot write file \"" + destination + "\"");
}

namespace lynEDIFromACH {
void Register() { registerComponent(kPalettePage, "TlynEDIFromACH"); }
} // namespace lynEDIFromACH

} // namespace pelldrake::edi
