#include "edi/parsed_dir.h"

#include "edi/check_io.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string_view>

namespace pelldrake::edi {

namespace fs = std::filesystem;

namespace {

constexpr size_t kBlockSize = 2000;
constexpr size_t kRefillBelow = 1000;
// One segment may span several blocks; beyond this much unsplit text without a
// terminator the input is not X12 and splitting ends.
constexpr size_t kMaxUnsplit = 8u << 20;

std::string localTimeStamp(long long msSinceEpoch)
{
    const std::time_t secs = static_cast<std::time_t>(msSinceEpoch / 1000);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &secs);
#else
    localtime_r(&secs, &local);
#endif
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d%02d%02d%02d%03d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(msSinceEpoch % 1000));
    return buf;
}

// Hands out time-stamp names that are unique and increasing within one run.
class TimeStampFiles {
public:
    explicit TimeStampFiles(fs::path dir) : m_dir(std::move(dir)) {}

    // Creates the next parsed file exclusively; nullptr when the directory
    // refuses it.
    io::FilePtr create(std::string &name)
    {
        using namespace std::chrono;
        long long ms = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
        if (ms <= m_last)
            ms = m_last + 1;
        for (int attempt = 0; attempt < 10000; ++attempt, ++ms) {
            const fs::path path = m_dir / (localTimeStamp(ms) + ".edi");
            errno = 0;
            io::FilePtr f = io::openFile(path, "wbx");
            if (f) {
                m_last = ms;
                name = io::fromPath(path);
                return f;
            }
            if (errno != EEXIST)
                return nullptr;
        }
        return nullptr;
    }

private:
    fs::path m_dir;
    long long m_last = 0;
};

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

void removeChar(std::string &s, size_t from, char c)
{
    s.erase(std::remove(s.begin() + static_cast<std::ptrdiff_t>(from), s.end(), c), s.end());
}

class Splitter {
public:
    Splitter(const std::string &input, const std::string &dir)
        : m_inputName(input), m_dir(io::toPath(dir)), m_names(m_dir) {}

    ParseResult run();

private:
    bool analyseHead(std::string text);
    size_t readBlock(std::string &block);
    void clean(size_t from);
    bool handleIsa(std::string_view segment);
    void startFurtherGroup();
    void handleIea(std::string_view line);
    void writeLine(std::string_view line);
    void writeHeader(std::FILE *f);
    void closeOutput();
    bool seekIsa();

    std::string m_inputName;
    fs::path m_dir;
    TimeStampFiles m_names;
    io::FilePtr m_in;
    ParseResult m_result;

    char m_term = 0;
    char m_sep = 0;
    char m_cleanedFor = 0;              // the terminator the unsplit text was cleaned for
    std::string m_subSep;
    std::string m_interchangeIsa;      // ISA of the interchange being split
    bool m_firstGroup = true;

    std::string m_text;                // unsplit text is m_text[m_pos..]
    size_t m_pos = 0;
    bool m_seekingIsa = false;

    io::FilePtr m_out;
    std::string m_outName;
    std::vector<std::string> m_awaitingIea;   // closed groups of this interchange
};

size_t Splitter::readBlock(std::string &block)
{
    char buf[kBlockSize];
    const size_t n = std::fread(buf, 1, kBlockSize, m_in.get());
    const void *zero = std::memchr(buf, 0, n);
    const size_t len = zero ? static_cast<size_t>(static_cast<const char *>(zero) - buf) : n;
    block.assign(buf, len);
    return n;
}

bool Splitter::analyseHead(std::string text)
{
    const size_t isa = text.find("ISA");
    if (isa == std::string::npos)
        return false;
    text.erase(0, isa);
    size_t lf = text.find('\n');
    if (lf != std::string::npos && lf + 1 == 82) {   // wrapped in 80-column lines
        removeChar(text, 0, '\n');
        removeChar(text, 0, '\r');
        lf = text.find('\n');
    }
    const size_t p = lf == std::string::npos ? 0 : lf + 1;   // 1-based, 0 when none
    if (p < 106 && text.size() < 106)
        return false;
    m_sep = text[3];
    if (p == 106 || (p == 107 && text[105] == '\r')) {
        m_term = '\n';
        removeChar(text, 0, '\r');
    } else {
        // Includes a terminator followed by a bare line feed: the line breaks
        // are dropped while splitting.
        m_term = text[105];
    }
    const size_t end = text.find(m_term);
    if (end != std::string::npos)
        m_interchangeIsa = text.substr(0, end);
    return true;
}

void Splitter::clean(size_t from)
{
    if (m_term != '\n')
        removeChar(m_text, from, '\n');
    if (m_term != '\r')
        removeChar(m_text, from, '\r');
    m_cleanedFor = m_term;
}

void Splitter::writeHeader(std::FILE *f)
{
    const std::string head = separatorCode(m_term) + "\r\n" + separatorCode(m_sep) + "\r\n" + m_subSep + "\r\n";
    std::fwrite(head.data(), 1, head.size(), f);
}

void Splitter::writeLine(std::string_view line)
{
    if (!m_out)
        return;
    std::fwrite(line.data(), 1, line.size(), m_out.get());
    std::fwrite("\r\n", 1, 2, m_out.get());
}

void Splitter::closeOutput()
{
    m_out.reset();
}

bool Splitter::handleIsa(std::string_view segment)
{
    // Separators of this interchange, from the fixed ISA layout.
    const std::string_view text(m_text.data() + m_pos, m_text.size() - m_pos);
    if (text.size() >= 106) {
        m_sep = text[3];
        m_term = text[105];
    }
    m_result.elementSeparator.assign(1, m_sep);
    m_subSep.clear();
    int seps = 0;
    for (size_t i = 0; i < segment.size(); ++i) {
        if (segment[i] == m_sep && ++seps == 16) {
            if (i + 1 < segment.size())
                m_subSep.assign(1, segment[i + 1]);
            break;
        }
    }
    m_result.subElementSeparator = m_subSep;
    m_firstGroup = true;
    m_awaitingIea.clear();   // an interchange without IEA leaves its groups as they are
    closeOutput();

    std::string name;
    io::FilePtr f = m_names.create(name);
    if (!f)
        return false;
    setvbuf(f.get(), nullptr, _IOFBF, 1 << 16);
    m_out = std::move(f);
    m_outName = name;
    m_result.files.push_back(name);
    writeHeader(m_out.get());
    m_interchangeIsa.assign(segment.substr(0, segment.size() - 1));
    return true;
}

void Splitter::startFurtherGroup()
{
    // The group before is complete but for its IEA, which comes at the end of
    // the interchange.
    if (m_out) {
        m_awaitingIea.push_back(m_outName);
        closeOutput();
    }
    std::string name;
    io::FilePtr f = m_names.create(name);
    if (!f)
        return;   // this group's lines are lost, as an unwritable directory allows no better
    setvbuf(f.get(), nullptr, _IOFBF, 1 << 16);
    m_out = std::move(f);
    m_outName = name;
    m_result.files.push_back(name);
    writeHeader(m_out.get());
    writeLine(m_interchangeIsa);
}

void Splitter::handleIea(std::string_view line)
{
    writeLine(line);
    for (const std::string &name : m_awaitingIea) {
        io::FilePtr f = io::openFile(io::toPath(name), "ab");
        if (!f)
            continue;
        std::fwrite(line.data(), 1, line.size(), f.get());
        std::fwrite("\r\n", 1, 2, f.get());
    }
    m_awaitingIea.clear();
}

// Moves the unsplit text to the next "ISA", keeping a partial "IS" at its end
// for the next block. False when no ISA is in the text yet.
bool Splitter::seekIsa()
{
    const size_t next = m_text.find("ISA", m_pos);
    if (next != std::string::npos) {
        m_pos = next;
        m_seekingIsa = false;
        return true;
    }
    m_pos = std::max(m_pos, m_text.size() >= 2 ? m_text.size() - 2 : size_t{0});
    m_seekingIsa = true;
    return false;
}

ParseResult Splitter::run()
{
    m_in = io::openFile(io::toPath(m_inputName), "rb");
    std::error_code ec;
    if (!m_in || fs::is_directory(io::toPath(m_inputName), ec))
        return m_result;
    setvbuf(m_in.get(), nullptr, _IOFBF, 1 << 16);

    std::string block;
    readBlock(block);
    if (block.empty() || !analyseHead(block))
        return m_result;
    m_result.ok = true;
    std::rewind(m_in.get());

    m_text.clear();
    m_pos = 0;
    m_seekingIsa = true;   // the first block starts at its first ISA
    for (;;) {
        const size_t got = readBlock(block);
        const bool full = got == kBlockSize;
        m_text.erase(0, m_pos);
        m_pos = 0;
        const size_t from = m_text.size();
        m_text += block;
        clean(m_cleanedFor == m_term ? from : 0);
        if (m_seekingIsa && !seekIsa()) {
            if (full)
                continue;
            break;
        }
        if (got == 0 && m_pos == m_text.size())
            break;
        if (m_text.find(m_term, m_pos) == std::string::npos) {
            // A segment longer than a block: read on, within reason.
            if (full && m_text.size() < kMaxUnsplit)
                continue;
            break;
        }

        bool stop = false;
        for (;;) {
            const size_t t = m_text.find(m_term, m_pos);
            if (t == std::string::npos) {
                stop = !full;   // otherwise the segment ends in the next block
                break;
            }
            const std::string_view segment(m_text.data() + m_pos, t - m_pos + 1);
            const std::string_view line = segment.substr(0, segment.size() - 1);
            if (segment.size() >= 4 && startsWith(segment, "IEA") && segment[3] == m_sep) {
                handleIea(line);
                m_pos = t + 1;
                if (!seekIsa())
                    break;
                continue;   // the next interchange follows at once
            }
            if (startsWith(segment, "GS")) {
                if (m_firstGroup)
                    m_firstGroup = false;
                else
                    startFurtherGroup();
            } else if (startsWith(segment, "ISA")) {
                if (!handleIsa(segment)) {
                    // Tried again after the next block, if there is one.
                    stop = m_text.size() - m_pos >= kMaxUnsplit;
                    break;
                }
            }
            writeLine(line);
            m_pos = t + 1;
            if (m_cleanedFor != m_term)
                clean(m_pos);   // a later interchange with other separators
            if (m_pos == m_text.size())
                break;
            if (full && m_text.size() - m_pos < kRefillBelow)
                break;
        }
        if (stop || !full)
            break;
    }
    closeOutput();
    return m_result;
}

} // namespace

std::string separatorCode(char c)
{
    return std::to_string(static_cast<int>(static_cast<signed char>(c)));
}

void cleanParsedDirectory(const std::string &parsedDirPath)
{
    std::error_code ec;
    fs::directory_iterator it(io::toPath(parsedDirPath), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        std::error_code fileEc;
        if (it->is_regular_file(fileEc))
            fs::remove(it->path(), fileEc);
    }
}

void listParsedDirectory(const std::string &parsedDirPath, std::vector<std::string> &list)
{
    std::error_code ec;
    std::vector<std::string> names;
    fs::directory_iterator it(io::toPath(parsedDirPath), ec), end;
    for (; !ec && it != end; it.increment(ec))
        names.push_back(io::fromPath(it->path()));
    std::sort(names.begin(), names.end());
    list.insert(list.end(), names.begin(), names.end());
}

ParseResult splitIntoParsedFiles(const std::string &ediFileName, const std::string &parsedDirPath)
{
    cleanParsedDirectory(parsedDirPath);
    std::error_code ec;
    fs::create_directory(io::toPath(parsedDirPath), ec);   // gone since construction: make it again
    Splitter splitter(ediFileName, parsedDirPath);
    return splitter.run();
}

} // namespace pelldrake::edi
