#include "edi/interchange_splitter.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <system_error>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace fs = std::filesystem;

namespace pelldrake::edi {

namespace {

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
    // Called for every line and segment: compare by hand, tags are short.
    if (segment.size() < tag.size())
        return false;
    for (std::size_t i = 0; i < tag.size(); ++i)
        if (segment[i] != tag[i])
            return false;
    return segment.size() == tag.size() || !std::isalnum(static_cast<unsigned char>(segment[tag.size()]));
}

const char *envelopeKind(std::string_view line)
{
    if (line.size() < 2)
        return nullptr;
    switch (line[0]) {
    case 'I':
        if (hasTag(line, "ISA"))
            return "ISA";
        if (hasTag(line, "IEA"))
            return "IEA";
        return nullptr;
    case 'G':
        if (hasTag(line, "GS"))
            return "GS";
        if (hasTag(line, "GE"))
            return "GE";
        return nullptr;
    case 'S':
        return hasTag(line, "ST") ? "ST" : nullptr;
    default:
        return nullptr;
    }
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
        if (isa[p] == elementSeparator && ++n == kIsaElementCount)
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
    // An ISA is longer than a wrapped line, so a line feed right after the
    // first kWrapColumns characters (alone or after a CR) means the
    // interchange was wrapped.
    auto lf = text.find('\n');
    if (lf == kWrapColumns || lf == kWrapColumns + 1) {
        removeChars(text, '\n', '\r');
        h.unwrapped = true;
    }
    if (text.size() < kIsaLength)
        return std::nullopt;

    // Where the first line after the ISA begins, 0 when there is no line feed.
    lf = text.find('\n');
    const std::size_t nextLine = lf == std::string::npos ? 0 : lf + 1;
    const char afterIsa16 = text[kIsaTerminatorAt];
    h.elementSeparator = text[kIsaElementSeparatorAt];
    if (nextLine == kIsaLength || (nextLine == kIsaLength + 1 && afterIsa16 == '\r')) {
        h.terminator = '\n'; // line feed (after CR or alone) ends the segments
        removeChars(text, '\r', '\r');
    } else if (nextLine == kIsaLength + 1) {
        h.terminator = afterIsa16; // a terminator followed by a bare line feed
        removeChars(text, '\n', '\r');
    } else {
        h.terminator = afterIsa16;
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

namespace {

bool isLineBreakOrZero(char c) { return c == '\n' || c == '\r' || c == '\0'; }

// True when text holds a whole ISA tag at `at`, followed by a character that
// cannot continue a tag (so "ISAX" is a body segment).
bool isISAAt(std::string_view text, std::size_t at)
{
    const std::size_t after = at + kIsaTag.size();
    return text.compare(at, kIsaTag.size(), kIsaTag) == 0 && after < text.size()
        && !std::isalnum(static_cast<unsigned char>(text[after]));
}

// Index of the first byte in [from, n) that filtering for terminator would drop
// (a zero byte, or a line break that is not the terminator); n when none.
std::size_t findDropped(const char *p, std::size_t from, std::size_t n, char terminator)
{
    const bool keepLF = terminator == '\n';
    const bool keepCR = terminator == '\r';
    std::size_t i = from;
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i zero = _mm_setzero_si128();
    const __m128i cr = keepCR ? zero : _mm_set1_epi8('\r');
    const __m128i lf = keepLF ? zero : _mm_set1_epi8('\n');
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, zero), _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask != 0)
            return i + static_cast<std::size_t>(std::countr_zero(mask));
    }
#endif
    for (; i < n; ++i) {
        const char c = p[i];
        if (c == '\0' || (c == '\n' && !keepLF) || (c == '\r' && !keepCR))
            return i;
    }
    return n;
}

// Index of the first terminator or dropped byte in [from, n); n when none. One
// pass tells both where a segment ends and whether it needs filtering.
std::size_t findTerminatorOrDropped(const char *p, std::size_t from, std::size_t n, char terminator)
{
    const bool keepLF = terminator == '\n';
    const bool keepCR = terminator == '\r';
    std::size_t i = from;
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i zero = _mm_setzero_si128();
    const __m128i term = _mm_set1_epi8(terminator);
    const __m128i cr = keepCR ? term : _mm_set1_epi8('\r');
    const __m128i lf = keepLF ? term : _mm_set1_epi8('\n');
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        const __m128i hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, zero), _mm_cmpeq_epi8(v, term)),
                                         _mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(hit));
        if (mask != 0)
            return i + static_cast<std::size_t>(std::countr_zero(mask));
    }
#endif
    for (; i < n; ++i) {
        const char c = p[i];
        if (c == terminator || c == '\0' || (c == '\n' && !keepLF) || (c == '\r' && !keepCR))
            return i;
    }
    return n;
}

} // namespace

std::optional<char> terminatorOfISA(std::string_view raw, bool atEnd)
{
    // Walk the characters of the ISA up to and including ISA16, skipping line
    // breaks (a wrap may fall anywhere) and zero bytes.
    std::size_t i = 0;
    std::size_t seen = 0;
    for (; i < raw.size(); ++i) {
        if (isLineBreakOrZero(raw[i]))
            continue;
        if (++seen == kIsaTerminatorAt)
            break;
    }
    if (seen < kIsaTerminatorAt)
        return std::nullopt;
    ++i;
    if (i < raw.size() && !isLineBreakOrZero(raw[i]))
        return raw[i];
    // Line breaks right after ISA16: either they end the segment, or a wrap
    // fell just before the terminator. The first character after them tells:
    // a segment tag begins with a letter or digit, a terminator never does.
    bool sawLF = false, sawCR = false;
    for (; i < raw.size() && isLineBreakOrZero(raw[i]); ++i) {
        sawLF |= raw[i] == '\n';
        sawCR |= raw[i] == '\r';
    }
    if (i == raw.size() && !atEnd)
        return std::nullopt;
    if (i < raw.size() && !std::isalnum(static_cast<unsigned char>(raw[i])))
        return raw[i];
    if (sawLF)
        return '\n';
    if (sawCR)
        return '\r';
    return std::nullopt;
}

SegmentCutter::SegmentCutter(std::FILE *in, fs::path path, char terminator)
    : in_(in), path_(std::move(path)), terminator_(terminator)
{
}

void SegmentCutter::fail(std::string message)
{
    if (error_.empty())
        error_ = std::move(message);
}

bool SegmentCutter::readBlock()
{
    char buf[kReadBlockSize];
    const std::size_t n = std::fread(buf, 1, sizeof buf, in_);
    lastFull_ = n == sizeof buf;
    if (n < sizeof buf && std::ferror(in_))
        fail("cannot read \"" + path_.string() + "\"");
    if (start_ > 0) {
        held_.erase(0, start_);
        heldOffset_ += start_;
        noTermBefore_ = noTermBefore_ > start_ ? noTermBefore_ - start_ : 0;
        start_ = 0;
    }
    held_.append(buf, n);
    readOffset_ += n;
    return n > 0;
}

bool SegmentCutter::dropToISA()
{
    const auto p = held_.find(kIsaTag, start_);
    if (p != std::string::npos) {
        start_ = p;
        return true;
    }
    // Keep a split "I" or "IS" for the next block.
    std::size_t keep = 0;
    if (held_.size() >= start_ + 2 && held_.compare(held_.size() - 2, 2, "IS") == 0)
        keep = 2;
    else if (held_.size() >= start_ + 1 && held_.back() == 'I')
        keep = 1;
    start_ = held_.size() - keep;
    return false;
}

std::string_view SegmentCutter::filtered(std::string_view raw)
{
    const std::size_t d = findDropped(raw.data(), 0, raw.size(), terminator_);
    if (d == raw.size())
        return raw;
    scratch_.assign(raw.data(), d);
    appendFiltered(scratch_, raw.substr(d), terminator_);
    return scratch_;
}

// The states run once a segment or more: inline, they compile into run() as
// one loop, as fast as the loop they replace.
inline SegmentCutter::State SegmentCutter::seekISA()
{
    return dropToISA() ? State::AtSegment : needInput(State::SeekingISA);
}

inline SegmentCutter::State SegmentCutter::atSegment()
{
    // Line breaks that are not the terminator and zero bytes between segments
    // belong to no segment.
    while (start_ < held_.size() && findDropped(held_.data(), start_, start_ + 1, terminator_) == start_)
        ++start_;
    if (start_ >= held_.size())
        return needInput(State::AtSegment);
    if (isISAAt(held_, start_)) {
        // Every interchange is cut with its own terminator, read from its own
        // ISA before anything of it is filtered.
        const auto t = terminatorOfISA(std::string_view(held_).substr(start_), !lastFull_);
        if (!t && lastFull_ && held_.size() - start_ < kReadBlockSize)
            return needInput(State::AtSegment); // the terminator is still to come
        if (t && *t != terminator_)
            setTerminator(*t);
    }
    return State::Cutting;
}

inline SegmentCutter::SegmentEnd SegmentCutter::findSegmentEnd() const
{
    // Text known to hold no terminator is not searched again.
    const std::size_t from = std::max(start_, noTermBefore_);
    if (from == start_) {
        // One pass finds the terminator and tells whether anything before it
        // needs filtering.
        const std::size_t q = findTerminatorOrDropped(held_.data(), from, held_.size(), terminator_);
        if (q < held_.size() && held_[q] == terminator_)
            return {q, true};
        return {q < held_.size() ? held_.find(terminator_, q) : std::string::npos, false};
    }
    return {from < held_.size() ? held_.find(terminator_, from) : std::string::npos, false};
}

inline SegmentCutter::State SegmentCutter::cut(Handler &handler)
{
    const SegmentEnd end = findSegmentEnd();
    const std::size_t p = end.terminator;
    const std::size_t len = (p == std::string::npos ? held_.size() : p) - start_;
    if (len > kMaxSegmentLength) {
        failSegmentTooLong();
        return State::Done;
    }
    if (p == std::string::npos) {
        noTermBefore_ = held_.size();
        if (lastFull_)
            return needInput(State::AtSegment);
        cutUnterminated(handler);
        return State::Done;
    }
    const std::string_view raw = std::string_view(held_).substr(start_, p + 1 - start_);
    const Action a = handler.segment(end.clean ? raw : filtered(raw));
    if (a == Action::Stop)
        return State::Done;
    start_ = p + 1;
    const State next = a == Action::SkipToISA ? State::SeekingISA : State::AtSegment;
    // Keep enough text ahead that the next segment is seldom cut by the block's end.
    if (lastFull_ && held_.size() - start_ < kRefillThreshold)
        return needInput(next);
    return next;
}

void SegmentCutter::failSegmentTooLong()
{
    fail("a segment at byte " + std::to_string(heldOffset_ + start_) + " of \"" + path_.string() + "\" is longer than "
         + std::to_string(kMaxSegmentLength / (1 << 20)) + " MiB (is the segment terminator right?)");
}

void SegmentCutter::cutUnterminated(Handler &handler)
{
    // A line-based file without its last line break, say.
    const std::string_view tail = trimControls(std::string_view(held_).substr(start_));
    if (tail.empty())
        return;
    std::string seg(filtered(tail));
    seg += terminator_;
    handler.segment(seg);
}

inline SegmentCutter::State SegmentCutter::readMore()
{
    if (!lastFull_)
        return State::Done; // the last block was short: nothing more comes
    readBlock();
    return error_.empty() ? resume_ : State::Done;
}

bool SegmentCutter::run(Handler &handler)
{
    seekTo(in_, 0);
    readOffset_ = 0;
    heldOffset_ = 0;
    held_.clear();
    error_.clear();
    start_ = 0;
    noTermBefore_ = 0;
    lastFull_ = false;
    readBlock();
    State state = error_.empty() ? State::SeekingISA : State::Done;
    while (state != State::Done) {
        switch (state) {
        case State::SeekingISA:
            state = seekISA();
            break;
        case State::AtSegment:
            state = atSegment();
            break;
        case State::Cutting:
            state = cut(handler);
            break;
        case State::Reading:
            state = readMore();
            break;
        case State::Done:
            break;
        }
    }
    return error_.empty();
}

SegmentCutter::Lookahead SegmentCutter::findInterchangeIEA(char elementSeparator, std::string &iea) const
{
    std::string win;
    appendFiltered(win, std::string_view(held_).substr(start_), terminator_);
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
    const auto t = clock_ ? clock_() : system_clock::now();
    const std::int64_t now = duration_cast<milliseconds>(t.time_since_epoch()).count();
    std::int64_t ms = std::max(now, lastMillis_ + 1);
    for (int tries = 0; tries < 100000; ++tries, ++ms) {
        const fs::path name = dir / (format(system_clock::time_point(milliseconds(ms))) + ".edi");
        FilePtr f = openFile(name, "wbx");
        if (f) {
            lastMillis_ = ms;
            out = std::move(f);
            return name;
        }
        const int err = errno;
        // Taken (a link to nothing too): move on. Anything else is the
        // system's refusal, and its reason goes with the error.
        std::error_code ec;
        if (!fs::exists(fs::symlink_status(name, ec)))
            throw FileError("cannot create group file \"" + name.string() + "\": " + std::strerror(err), err);
    }
    throw FileError("no free time-stamp name in \"" + dir.string() + "\"");
}

} // namespace pelldrake::edi
