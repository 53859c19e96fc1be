#include "edi/interchange_splitter.h"

#include "edi/check_io.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <ctime>
#include <system_error>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace fs = std::filesystem;

namespace pelldrake::edi {

FilePtr openFile(const fs::path &path, const char *mode)
{
#ifdef _WIN32
    std::wstring wmode;
    for (const char *m = mode; *m; ++m)
        wmode += static_cast<wchar_t>(*m);
    return FilePtr(::_wfopen(path.c_str(), wmode.c_str()));
#else
    return FilePtr(std::fopen(path.c_str(), mode));
#endif
}

bool seekTo(std::FILE *f, std::uint64_t offset)
{
#ifdef _WIN32
    return ::_fseeki64(f, static_cast<long long>(offset), SEEK_SET) == 0;
#else
    return ::fseeko(f, static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

bool readWholeFile(const fs::path &path, std::string &out)
{
    out.clear();
    FilePtr f = openFile(path, "rb");
    if (!f)
        return false;
    std::error_code ec;
    const auto size = fs::file_size(path, ec);   // a hint only: the file is read to its end
    if (!ec)
        out.reserve(static_cast<std::size_t>(size));
    char buf[1 << 16];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f.get())) > 0)
        out.append(buf, n);
    return std::ferror(f.get()) == 0;
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

namespace {

std::uint64_t fileSize(std::FILE *f)
{
#ifdef _WIN32
    if (::_fseeki64(f, 0, SEEK_END) != 0)
        return 0;
    const long long n = ::_ftelli64(f);
#else
    if (::fseeko(f, 0, SEEK_END) != 0)
        return 0;
    const off_t n = ::ftello(f);
#endif
    return n < 0 ? 0 : static_cast<std::uint64_t>(n);
}

std::tm localTime(std::time_t t)
{
    std::tm out{};
#ifdef _WIN32
    ::localtime_s(&out, &t);
#else
    ::localtime_r(&t, &out);
#endif
    return out;
}

bool isBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 32; }

void removeChars(std::string &s, char a, char b)
{
    s.erase(std::remove_if(s.begin(), s.end(), [&](char c) { return c == a || c == b; }), s.end());
}

} // namespace

std::string separatorCode(char c) { return std::to_string(static_cast<int>(static_cast<signed char>(c))); }

bool hasTag(std::string_view segment, std::string_view tag)
{
    if (segment.substr(0, tag.size()) != tag)
        return false;
    return segment.size() == tag.size() || !std::isalnum(static_cast<unsigned char>(segment[tag.size()]));
}

const char *envelopeKind(std::string_view line)
{
    if (hasTag(line, "ISA"))
        return "ISA";
    if (hasTag(line, "GS"))
        return "GS";
    if (hasTag(line, "IEA"))
        return "IEA";
    if (hasTag(line, "GE"))
        return "GE";
    if (hasTag(line, "ST"))
        return "ST";
    return nullptr;
}

std::vector<std::string> listFileEntries(const std::string &directory)
{
    std::vector<std::string> out;
    std::error_code ec;
    const fs::path dir = io::toPath(directory);
    fs::directory_iterator it(dir, ec);
    if (ec)
        return out;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec)
            break;
        std::error_code dirEc;
        if (it->is_directory(dirEc))
            continue;
        out.push_back(io::fromPath(dir / it->path().filename()));
    }
    return out;
}

std::string_view trimControls(std::string_view s)
{
    while (!s.empty() && isBlankOrControl(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlankOrControl(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string subElementSeparatorOf(std::string_view isa, char elementSeparator)
{
    int n = 0;
    for (std::size_t p = 0; p < isa.size(); ++p)
        if (isa[p] == elementSeparator && ++n == 16)
            return p + 1 < isa.size() ? std::string(1, isa[p + 1]) : std::string();
    return {};
}

std::string partnerNamePart(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 32 || u == 127 || c == '/' || c == '\\' || c == ':')
            continue;
        out += c;
    }
    for (auto p = out.find(".."); p != std::string::npos; p = out.find(".."))
        out.erase(p, 2);
    return out;
}

void appendFiltered(std::string &out, std::string_view in, char terminator)
{
    const bool keepLF = terminator == '\n';
    const bool keepCR = terminator == '\r';
    const std::size_t old = out.size();
    out.resize(old + in.size());
    char *d = out.data() + old;
    const char *p = in.data();
    const char *const end = p + in.size();
#if defined(__SSE2__) || defined(_M_X64)
    // Line breaks are rare inside segments: copy 16 bytes at a time and only
    // stop at the bytes that are dropped. d never runs ahead of p, so the
    // 16-byte stores stay inside the space reserved above.
    const __m128i zero = _mm_setzero_si128();
    const __m128i cr = keepCR ? zero : _mm_set1_epi8('\r');
    const __m128i lf = keepLF ? zero : _mm_set1_epi8('\n');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, zero), _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(d), v);
        if (mask == 0) {
            p += 16;
            d += 16;
        } else {
            const int first = std::countr_zero(mask);
            p += first + 1;
            d += first;
        }
    }
#endif
    for (; p < end; ++p) {
        const char c = *p;
        *d = c;
        d += !(c == '\0' || (c == '\n' && !keepLF) || (c == '\r' && !keepCR));
    }
    out.resize(static_cast<std::size_t>(d - out.data()));
}

std::optional<InterchangeHeader> detectHeader(std::string_view headerBlock)
{
    std::string text;
    for (char c : headerBlock)
        if (c != '\0')
            text += c;
    const auto isa = text.find("ISA");
    if (isa == std::string::npos)
        return std::nullopt;
    text.erase(0, isa);

    InterchangeHeader h;
    // An ISA is 106 characters long, so a line break at 81 or 82 means the
    // interchange was wrapped into 80-column lines (with or without CR).
    auto lf = text.find('\n');
    if (lf == 80 || lf == 81) {
        removeChars(text, '\n', '\r');
        h.unwrapped = true;
    }
    if (text.size() < 106)
        return std::nullopt;

    lf = text.find('\n');
    const std::size_t p = lf == std::string::npos ? 0 : lf + 1;
    h.elementSeparator = text[3];
    if (p == 106 || (p == 107 && text[105] == '\r')) {
        h.terminator = '\n'; // line feed (after CR or alone) ends the segments
        removeChars(text, '\r', '\r');
    } else if (p == 107) {
        h.terminator = text[105]; // a terminator followed by a bare line feed
        removeChars(text, '\n', '\r');
    } else {
        h.terminator = text[105];
    }
    const auto end = text.find(h.terminator);
    if (end != std::string::npos)
        h.isaText = text.substr(0, end);
    return h;
}

std::string findTrailerIEA(std::FILE *in, char terminator, char elementSeparator)
{
    const std::uint64_t size = fileSize(in);
    if (size == 0)
        return {};
    // Find the last byte that is neither blank nor control, reading backwards.
    std::uint64_t end = size; // one past the last such byte, 0 when none
    {
        char buf[4096];
        std::uint64_t pos = size;
        bool found = false;
        while (pos > 0 && !found) {
            const std::uint64_t len = std::min<std::uint64_t>(sizeof buf, pos);
            pos -= len;
            if (!seekTo(in, pos) || std::fread(buf, 1, len, in) != len)
                return {};
            for (std::uint64_t i = len; i > 0; --i) {
                if (!isBlankOrControl(buf[i - 1])) {
                    end = pos + i;
                    found = true;
                    break;
                }
            }
        }
        if (!found)
            return {};
    }
    const std::uint64_t k = std::min<std::uint64_t>(size, std::max<std::uint64_t>(48, size - end + 1));
    const std::uint64_t start = size - k >= 48 ? size - k - 48 : 0;
    const std::uint64_t len = std::min<std::uint64_t>(kReadBlockSize, size - start);
    std::string raw(static_cast<std::size_t>(len), '\0');
    if (!seekTo(in, start) || std::fread(raw.data(), 1, raw.size(), in) != raw.size())
        return {};
    std::string window;
    appendFiltered(window, trimControls(raw), terminator);

    // The GE that closes the last group stands nearest the end.
    const std::string ge = std::string(1, terminator) + "GE" + elementSeparator;
    const auto g = window.rfind(ge);
    if (g == std::string::npos)
        return {};
    std::string_view rest(window);
    rest.remove_prefix(g + 1);
    const auto geEnd = rest.find(terminator);
    if (geEnd == std::string_view::npos)
        return {};
    rest.remove_prefix(geEnd + 1);
    if (rest.empty())
        return {};
    const auto ieaEnd = rest.find(terminator);
    if (ieaEnd != std::string_view::npos)
        return std::string(rest.substr(0, ieaEnd + 1));
    return std::string(rest) + terminator;
}

// ---- SegmentCutter ----

SegmentCutter::SegmentCutter(std::FILE *in, fs::path path, char terminator)
    : in_(in), path_(std::move(path)), terminator_(terminator)
{
}

bool SegmentCutter::readBlock()
{
    char buf[kReadBlockSize];
    const std::size_t n = std::fread(buf, 1, sizeof buf, in_);
    readOffset_ += n;
    lastFull_ = n == sizeof buf;
    if (start_ > 0) {
        held_.erase(0, start_);
        noTermBefore_ = noTermBefore_ > start_ ? noTermBefore_ - start_ : 0;
        start_ = 0;
    }
    appendFiltered(held_, std::string_view(buf, n), terminator_);
    if (seekingISA_)
        dropToISA();
    return n > 0;
}

void SegmentCutter::dropToISA()
{
    const auto p = held_.find("ISA", start_);
    if (p != std::string::npos) {
        start_ = p;
        seekingISA_ = false;
        return;
    }
    // Keep a split "I" or "IS" for the next block.
    std::size_t keep = 0;
    if (held_.size() >= start_ + 2 && held_.compare(held_.size() - 2, 2, "IS") == 0)
        keep = 2;
    else if (held_.size() >= start_ + 1 && held_.back() == 'I')
        keep = 1;
    start_ = held_.size() - keep;
}

void SegmentCutter::run(Handler &handler)
{
    seekTo(in_, 0);
    readOffset_ = 0;
    held_.clear();
    start_ = 0;
    noTermBefore_ = 0;
    seekingISA_ = true;
    newInterchange_ = false;
    lastFull_ = false;
    readBlock();
    for (;;) {
        bool readMore = false;
        for (;;) {
            if (start_ >= held_.size()) {
                readMore = lastFull_;
                break;
            }
            // A further interchange of the file may end its segments with
            // another character: its ISA says which (the 106th character), and
            // the ISA itself must already be cut with it.
            if (newInterchange_ && !seekingISA_ && held_.compare(start_, 3, "ISA") == 0) {
                if (held_.size() - start_ <= 105 && lastFull_) {
                    readMore = true;
                    break;
                }
                newInterchange_ = false;
                if (held_.size() - start_ > 105 && held_[start_ + 105] != terminator_) {
                    setTerminator(held_[start_ + 105]);
                    // Line breaks were kept or dropped for the old terminator.
                    const std::string uncut = held_.substr(start_);
                    held_.resize(start_);
                    appendFiltered(held_, uncut, terminator_);
                }
            }
            // Text known to hold no terminator is not searched again.
            const std::size_t from = std::max(start_, noTermBefore_);
            const auto p = from < held_.size() ? held_.find(terminator_, from) : std::string::npos;
            if (p == std::string::npos) {
                noTermBefore_ = held_.size();
                if (lastFull_ && held_.size() - start_ < kMaxSegmentLength) {
                    readMore = true; // a long segment cut by the block boundary
                } else if (!lastFull_ && !seekingISA_) {
                    // The input ends in a segment without terminator (a line-based
                    // file without its last line break): cut it all the same.
                    const std::string_view tail = trimControls(std::string_view(held_).substr(start_));
                    if (!tail.empty()) {
                        const std::string seg = std::string(tail) + terminator_;
                        handler.segment(seg, seg);
                    }
                }
                break;
            }
            const std::string_view all(held_);
            const Action a = handler.segment(all.substr(start_, p + 1 - start_), all.substr(start_));
            if (a == Action::Stop)
                return;
            if (a == Action::Defer) {
                // Retried with the next block; give up once that would hold
                // more than a long segment's worth of text.
                readMore = lastFull_ && held_.size() - start_ < kMaxSegmentLength;
                break;
            }
            start_ = p + 1;
            if (a == Action::SkipToISA) {
                seekingISA_ = true;
                newInterchange_ = true;
                dropToISA();
            }
            if (start_ >= held_.size()) {
                readMore = lastFull_;
                break;
            }
            if (lastFull_ && held_.size() - start_ < kRefillThreshold) {
                readMore = true;
                break;
            }
        }
        if (!readMore)
            return;
        readBlock();
    }
}

SegmentCutter::Lookahead SegmentCutter::findInterchangeIEA(char elementSeparator, std::string &iea) const
{
    std::string win = held_.substr(start_);
    FilePtr f = openFile(path_, "rb");
    bool eof = !f || !seekTo(f.get(), readOffset_);
    std::string buf(1 << 16, '\0');
    auto more = [&]() -> bool {
        if (eof)
            return false;
        const std::size_t n = std::fread(buf.data(), 1, buf.size(), f.get());
        if (n == 0) {
            eof = true;
            return false;
        }
        appendFiltered(win, std::string_view(buf.data(), n), terminator_);
        return true;
    };
    std::size_t pos = 0;
    for (;;) {
        const auto p = win.find(terminator_, pos);
        if (p == std::string::npos) {
            win.clear();
            pos = 0;
            if (!more())
                return Lookahead::EndOfInput;
            continue;
        }
        while (win.size() < p + 5 && more()) {
        }
        const std::string_view after = std::string_view(win).substr(p + 1);
        if (after.size() > 3 && after.substr(0, 3) == "IEA" && after[3] == elementSeparator) {
            auto q = win.find(terminator_, p + 1);
            while (q == std::string::npos && win.size() - p < kMaxSegmentLength && more())
                q = win.find(terminator_, p + 1);
            if (q == std::string::npos)
                iea = std::string(trimControls(std::string_view(win).substr(p + 1)));
            else
                iea = win.substr(p + 1, q - p - 1);
            return Lookahead::Found;
        }
        if (after.substr(0, 3) == "ISA")
            return Lookahead::NextInterchange;
        pos = p + 1;
        if (pos > (1u << 16)) {
            win.erase(0, pos);
            pos = 0;
        }
    }
}

const std::string &InterchangeIEA::get(const SegmentCutter &cutter, char elementSeparator)
{
    if (!m_known) {
        std::string found;
        switch (cutter.findInterchangeIEA(elementSeparator, found)) {
        case SegmentCutter::Lookahead::Found:
            m_iea = std::move(found);
            break;
        case SegmentCutter::Lookahead::NextInterchange:
            m_iea.clear();
            break;
        case SegmentCutter::Lookahead::EndOfInput:
            m_iea = m_trailer.empty() ? std::string() : m_trailer.substr(0, m_trailer.size() - 1);
            break;
        }
        m_known = true;
    }
    return m_iea;
}

// ---- TimestampFileNamer ----

std::string TimestampFileNamer::format(std::chrono::system_clock::time_point t)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
    const auto secs = static_cast<std::time_t>(ms / 1000);
    const std::tm tm = localTime(secs);
    char out[64];
    std::snprintf(out, sizeof out, "%04d%02d%02d%02d%02d%02d%03d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                  tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>((ms % 1000 + 1000) % 1000));
    return out;
}

fs::path TimestampFileNamer::create(const fs::path &dir, FilePtr &out)
{
    using namespace std::chrono;
    const std::int64_t now = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    std::int64_t ms = std::max(now, lastMillis_ + 1);
    for (int tries = 0; tries < 100000; ++tries, ++ms) {
        const fs::path name = dir / (format(system_clock::time_point(milliseconds(ms))) + ".edi");
        FilePtr f = openFile(name, "wbx");
        if (f) {
            lastMillis_ = ms;
            out = std::move(f);
            return name;
        }
        std::error_code ec;
        if (!fs::exists(name, ec))
            throw FileError("cannot create group file \"" + name.string() + "\"");
    }
    throw FileError("no free time-stamp name in \"" + dir.string() + "\"");
}

} // namespace pelldrake::edi
