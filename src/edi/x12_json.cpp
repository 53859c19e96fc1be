#include "edi/x12_json.h"

#include "edi/utf8.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace pelldrake::edi {

namespace {

constexpr std::size_t kIsaWithTerminator = 106;
// Longest segment, and longest text outside interchanges, held at once.
constexpr std::size_t kMaxHeld = 1u << 20;

bool isLineBreak(char c) { return c == '\r' || c == '\n'; }

// ---------------------------------------------------------------- X12 -> JSON

// Length of a UTF-8 sequence at s[i] for a character from U+0100 up; 0
// otherwise (such bytes are written one by one as U+0080..U+00FF).
std::size_t wideUtf8Length(std::string_view s, std::size_t i)
{
    const std::size_t len = utf8SequenceLength(s, i);
    return len == 2 && static_cast<unsigned char>(s[i]) < 0xC4 ? 0 : len;
}

void appendJsonString(std::string &out, std::string_view s)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t run = i;
        while (run < s.size()) {
            const auto c = static_cast<unsigned char>(s[run]);
            if (c < 0x20 || c >= 0x80 || c == '"' || c == '\\')
                break;
            ++run;
        }
        out.append(s.data() + i, run - i);
        i = run;
        if (i == s.size())
            break;
        const auto c = static_cast<unsigned char>(s[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20) {
            out += "\\u00";
            out += hex[c >> 4];
            out += hex[c & 15];
        } else if (const std::size_t len = wideUtf8Length(s, i)) {
            out.append(s.data() + i, len);
            i += len;
            continue;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
        ++i;
    }
    out += '"';
}

class X12ToJson {
public:
    X12ToJson(ByteSource in, ByteSink out) : m_in(std::move(in)), m_out(std::move(out)) {}

    void run()
    {
        std::string &o = m_out.buffer();
        o += "{\"x12json\":\"1\",\"interchanges\":[";
        int interchanges = 0;
        while (seekISA()) {
            o += interchanges++ ? ",\n{" : "\n{";
            interchange();
            m_out.maybeFlush();
        }
        if (!interchanges)
            throw X12FormError(m_sawIsaText ? "no interchange header (ISA) of 106 characters in one piece: the "
                                              "header is cut or wrapped into lines, which is not converted"
                                            : "not X12: no interchange header (ISA) found");
        o += "\n]";
        if (!m_lead.empty()) {
            o += ",\"trail\":";
            appendJsonString(o, m_lead);
        }
        o += "}\n";
        m_out.flush();
    }

private:
    // Gathers the bytes before the next ISA into m_lead; false at the end of
    // the input, with whatever followed the last interchange in m_lead.
    bool seekISA()
    {
        for (;;) {
            std::string_view v = m_in.ensure(kIsaWithTerminator);
            if (v.empty())
                return false;
            const std::size_t at = v.find("ISA");
            if (at == std::string_view::npos) {
                // The last two bytes may begin an ISA that the window cuts. While
                // more input follows, the window holds at least an ISA's length.
                holdLead(v.substr(0, m_in.more() ? v.size() - 2 : v.size()));
                continue;
            }
            holdLead(v.substr(0, at));
            v = m_in.ensure(kIsaWithTerminator);
            if (looksLikeISA(v))
                return true;
            m_sawIsaText = true;
            holdLead(v.substr(0, 1));
        }
    }

    void holdLead(std::string_view bytes)
    {
        if (m_lead.size() + bytes.size() > kMaxHeld)
            throw X12FormError(m_lead.empty() && m_interchangeCount == 0
                                   ? "not X12: no interchange header (ISA) in the first MB"
                                   : "more than 1 MB of text that is no X12 after the interchange ending at byte " +
                                         std::to_string(m_lastEnd));
        m_lead.append(bytes);
        m_in.advance(bytes.size());
    }

    // CR and LF after a terminator, appended to end.
    void takeLineBreaks(std::string &end)
    {
        for (;;) {
            const std::string_view v = m_in.ensure(1);
            std::size_t n = 0;
            while (n < v.size() && isLineBreak(v[n]))
                ++n;
            end.append(v.substr(0, n));
            m_in.advance(n);
            if (n < v.size() || !m_in.more())
                return;
        }
    }

    void interchange()
    {
        ++m_interchangeCount;
        std::string &o = m_out.buffer();
        if (!m_lead.empty()) {
            o += "\"lead\":";
            appendJsonString(o, m_lead);
            o += ',';
            m_lead.clear();
        }
        const std::string isa(m_in.held().substr(0, kIsaWithTerminator));
        m_sep = X12Separators::ofISA(isa);
        try {
            m_sep.validate();
        } catch (const X12ValueError &e) {
            throw X12FormError("the ISA at byte " + std::to_string(m_in.offset()) + ": " + e.what());
        }
        classify();
        m_in.advance(kIsaWithTerminator);
        m_defaultEnd.assign(1, m_sep.terminator);
        takeLineBreaks(m_defaultEnd);
        o += "\"separators\":{\"element\":";
        appendJsonString(o, std::string_view(&m_sep.element, 1));
        o += ",\"component\":";
        appendJsonString(o, std::string_view(&m_sep.component, 1));
        o += ",\"repetition\":";
        appendJsonString(o, m_sep.repetition ? std::string_view(&m_sep.repetition, 1) : std::string_view());
        o += ",\"segment\":";
        appendJsonString(o, std::string_view(&m_sep.terminator, 1));
        o += "},\"end\":";
        appendJsonString(o, m_defaultEnd);
        o += ",\"segments\":[\n[";
        // The ISA's elements as they are: ISA11 and ISA16 hold separators.
        std::size_t from = 0;
        for (int k = 0; k < 17; ++k) {
            const std::size_t to = k < 16 ? isa.find(m_sep.element, from) : 105;
            if (k)
                o += ',';
            appendJsonString(o, std::string_view(isa).substr(from, to - from));
            from = to + 1;
        }
        o += ']';
        while (segment()) {
        }
        o += "\n]}";
    }

    // Writes the next segment of the interchange; false when it has ended
    // (after its IEA, at the next ISA or at the end of the input).
    bool segment()
    {
        std::string_view v = m_in.ensure(kIsaWithTerminator);
        if (v.empty())
            return false;
        if (v.substr(0, 3) == "ISA" && looksLikeISA(v))
            return false;   // the next interchange, this one had no IEA
        std::size_t term = v.find(m_sep.terminator);
        while (term == std::string_view::npos && m_in.more()) {
            if (v.size() > kMaxHeld)
                throw X12FormError("a segment longer than 1 MB at byte " + std::to_string(m_in.offset()));
            v = m_in.ensure(v.size() + (1 << 16));
            term = v.find(m_sep.terminator);
        }
        const std::size_t contentLength = term == std::string_view::npos ? v.size() : term;
        std::string &o = m_out.buffer();
        o += ",\n";
        const std::string_view content = v.substr(0, contentLength);
        const bool isIEA = content.substr(0, 3) == "IEA" && (content.size() == 3 || content[3] == m_sep.element);
        // Written before the window can move; the object form's opening goes
        // in front afterwards, once the segment's end is known.
        const std::size_t start = o.size();
        writeElements(o, content);
        m_in.advance(contentLength);
        std::string &end = m_end;
        end.clear();
        if (term != std::string_view::npos) {
            end += m_sep.terminator;
            m_in.advance(1);
            takeLineBreaks(end);
        }
        if (end != m_defaultEnd) {
            o.insert(start, "{\"elements\":");
            o += ",\"end\":";
            appendJsonString(o, end);
            o += '}';
        }
        m_lastEnd = m_in.offset();
        m_out.maybeFlush();
        return !isIEA && term != std::string_view::npos;
    }

    // The segment's elements as a JSON array, in one pass over its bytes
    // into room made beforehand (a byte becomes at most six, an element adds
    // at most eight of structure).
    void writeElements(std::string &o, std::string_view content)
    {
        const std::size_t at = o.size();
        o.resize(at + content.size() * 8 + 16);
        char *p = o.data() + at;
        *p++ = '[';
        const char *s = content.data();
        const char *const end = s + content.size();
        for (;;) {
            const char *e = s;
            bool nested = false;
            for (; e < end; ++e) {
                const unsigned char k = m_class[static_cast<unsigned char>(*e)];
                if (k == kElement)
                    break;
                nested |= k == kSub;
            }
            if (!nested) {
                p = writeString(p, s, e);
            } else {
                *p++ = '[';
                *p++ = '[';
                const char *from = s;
                for (const char *q = s; q < e; ++q) {
                    if (m_class[static_cast<unsigned char>(*q)] != kSub)
                        continue;
                    p = writeString(p, from, q);
                    if (*q == m_sep.component) {
                        *p++ = ',';
                    } else {
                        *p++ = ']';
                        *p++ = ',';
                        *p++ = '[';
                    }
                    from = q + 1;
                }
                p = writeString(p, from, e);
                *p++ = ']';
                *p++ = ']';
            }
            if (e == end)
                break;
            *p++ = ',';
            s = e + 1;
        }
        *p++ = ']';
        o.resize(static_cast<std::size_t>(p - o.data()));
    }

    // The bytes s..e as a JSON string at p (see appendJsonString).
    static char *writeString(char *p, const char *s, const char *e)
    {
        static const char hex[] = "0123456789abcdef";
        *p++ = '"';
        while (s < e) {
            const auto c = static_cast<unsigned char>(*s);
            if (c >= 0x20 && c < 0x80 && c != '"' && c != '\\') {
                *p++ = static_cast<char>(c);
                ++s;
                continue;
            }
            if (c == '"' || c == '\\') {
                *p++ = '\\';
                *p++ = static_cast<char>(c);
            } else if (c == '\n') {
                *p++ = '\\';
                *p++ = 'n';
            } else if (c == '\r') {
                *p++ = '\\';
                *p++ = 'r';
            } else if (c == '\t') {
                *p++ = '\\';
                *p++ = 't';
            } else if (c < 0x20) {
                std::memcpy(p, "\\u00", 4);
                p[4] = hex[c >> 4];
                p[5] = hex[c & 15];
                p += 6;
            } else if (const std::size_t len = wideUtf8Length(std::string_view(s, static_cast<std::size_t>(e - s)), 0)) {
                std::memcpy(p, s, len);
                p += len;
                s += len;
                continue;
            } else {
                *p++ = static_cast<char>(0xC0 | (c >> 6));
                *p++ = static_cast<char>(0x80 | (c & 0x3F));
            }
            ++s;
        }
        *p++ = '"';
        return p;
    }

    void classify()
    {
        std::fill(std::begin(m_class), std::end(m_class), kPlain);
        m_class[static_cast<unsigned char>(m_sep.element)] = kElement;
        m_class[static_cast<unsigned char>(m_sep.component)] = kSub;
        if (m_sep.repetition)
            m_class[static_cast<unsigned char>(m_sep.repetition)] = kSub;
    }

    static constexpr unsigned char kPlain = 0, kElement = 1, kSub = 2;
    unsigned char m_class[256] = {};

    InputWindow m_in;
    OutputBlock m_out;
    std::string m_lead;
    std::string m_defaultEnd, m_end;
    X12Separators m_sep;
    int m_interchangeCount = 0;
    std::uint64_t m_lastEnd = 0;
    bool m_sawIsaText = false;   // "ISA" seen, but no header that reads as one
};

// ---------------------------------------------------------------- JSON -> X12

class JsonToX12 {
public:
    JsonToX12(ByteSource in, ByteSink out) : m_in(std::move(in), 1 << 20), m_out(std::move(out)) {}

    void run()
    {
        expect('{');
        key("x12json");
        readString(m_scratch);
        if (m_scratch != "1")
            fail("this reads \"x12json\":\"1\", not \"" + m_scratch + "\"");
        expect(',');
        key("interchanges");
        expect('[');
        if (!consume(']')) {
            do
                interchange();
            while (consume(','));
            expect(']');
        }
        if (consume(',')) {
            key("trail");
            requireTerminated();
            m_scratch.clear();
            readString(m_scratch);
            m_out.buffer() += m_scratch;
        }
        expect('}');
        skipSpace();
        if (!m_in.ensure(1).empty())
            fail("text after the end of the JSON document");
        m_out.flush();
    }

private:
    [[noreturn]] void fail(const std::string &why) const
    {
        throw X12FormError("line " + std::to_string(m_line) + ": " + why);
    }

    void skipSpace()
    {
        // Mostly there is none: to-json writes blanks between segments only.
        if (const std::string_view h = m_in.held(); !h.empty() && static_cast<unsigned char>(h[0]) > ' ')
            return;
        for (;;) {
            const std::string_view v = m_in.ensure(1);
            std::size_t n = 0;
            while (n < v.size() && (v[n] == ' ' || v[n] == '\n' || v[n] == '\r' || v[n] == '\t')) {
                m_line += v[n] == '\n';
                ++n;
            }
            m_in.advance(n);
            if (n < v.size() || v.empty())
                return;
        }
    }

    char peek()
    {
        if (const std::string_view h = m_in.held(); !h.empty() && static_cast<unsigned char>(h[0]) > ' ')
            return h[0];
        return peekAfterSpace();
    }

    char peekAfterSpace()
    {
        skipSpace();
        const std::string_view v = m_in.ensure(1);
        if (v.empty())
            fail("the JSON document ends early");
        return v[0];
    }

    bool consume(char c)
    {
        if (peek() != c)
            return false;
        m_in.advance(1);
        return true;
    }

    void expect(char c)
    {
        const char got = peek();
        if (got != c)
            fail(std::string("expected '") + c + "' but found '" + got + "'");
        m_in.advance(1);
    }

    void key(const char *name)
    {
        if (peek() != '"')
            fail(std::string("expected the key \"") + name + "\"");
        m_key.clear();
        readString(m_key);
        if (m_key != name)
            fail("expected the key \"" + std::string(name) + "\" here, found \"" + m_key +
                 "\" (the keys come in the order to-json writes them)");
        expect(':');
    }

    static unsigned hexValue(char c)
    {
        if (c >= '0' && c <= '9')
            return static_cast<unsigned>(c - '0');
        if (c >= 'a' && c <= 'f')
            return static_cast<unsigned>(c - 'a' + 10);
        if (c >= 'A' && c <= 'F')
            return static_cast<unsigned>(c - 'A' + 10);
        return 16;
    }

    unsigned readHex4(std::string_view v, std::size_t at) const
    {
        if (v.size() < at + 4)
            fail("a \\u escape ends early");
        unsigned cp = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            const unsigned h = hexValue(v[at + k]);
            if (h > 15)
                fail("a \\u escape wants four hexadecimal digits");
            cp = cp * 16 + h;
        }
        return cp;
    }

    // A character below U+0100 is one byte; from U+0100 up, its UTF-8 bytes.
    static void appendCodePoint(std::string &out, unsigned cp)
    {
        if (cp < 0x100) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }

    // Appends the bytes of the JSON string at the position to out.
    void readString(std::string &out)
    {
        if (peek() != '"')
            fail("expected a string");
        m_in.advance(1);
        for (;;) {
            const std::string_view v = m_in.ensure(16);
            std::size_t run = 0;
            while (run < v.size() && !kStringStop[static_cast<unsigned char>(v[run])])
                ++run;
            out.append(v.substr(0, run));
            m_in.advance(run);
            if (run < v.size() && escapeOrEnd(out))
                return;
            if (run == v.size() && !m_in.more())
                fail("a string is not closed");
        }
    }

    // Handles the byte at the position that ended a plain run; true at the
    // closing quote.
    bool escapeOrEnd(std::string &out)
    {
        const std::string_view v = m_in.ensure(12);
        const auto c = static_cast<unsigned char>(v[0]);
        if (c == '"') {
            m_in.advance(1);
            return true;
        }
        if (c < 0x20)
            fail("a control character inside a string must be escaped");
        if (c >= 0x80) {
            unsigned cp = 0;
            const std::size_t len = utf8SequenceLength(v, 0, &cp);
            if (len == 0)
                fail("the JSON text is not UTF-8");
            appendCodePoint(out, cp);
            m_in.advance(len);
            return false;
        }
        // A backslash.
        if (v.size() < 2)
            fail("a string is not closed");
        switch (v[1]) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case '/': out += '/'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
            unsigned cp = readHex4(v, 2);
            std::size_t used = 6;
            if (cp >= 0xD800 && cp <= 0xDBFF) {
                if (v.size() < 12 || v[6] != '\\' || v[7] != 'u')
                    fail("a lone surrogate in a \\u escape");
                const unsigned low = readHex4(v, 8);
                if (low < 0xDC00 || low > 0xDFFF)
                    fail("a lone surrogate in a \\u escape");
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                used = 12;
            } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
                fail("a lone surrogate in a \\u escape");
            }
            appendCodePoint(out, cp);
            m_in.advance(used);
            return false;
        }
        default:
            fail(std::string("an unknown escape \\") + v[1]);
        }
        m_in.advance(2);
        return false;
    }

    // A one-character separator from the "separators" object.
    char separator(const char *name, bool optional)
    {
        key(name);
        m_scratch.clear();
        readString(m_scratch);
        if (optional && m_scratch.empty())
            return 0;
        if (m_scratch.size() != 1)
            fail(std::string("the ") + name + " separator must be one character");
        return m_scratch[0];
    }

    void checkEnd(const std::string &end) const
    {
        if (end.empty())
            return;
        if (end[0] != m_sep.terminator || end.find_first_not_of("\r\n", 1) != std::string::npos)
            fail("an \"end\" is the segment terminator followed by CR and LF only");
    }

    void interchange()
    {
        requireTerminated();
        expect('{');
        std::string &o = m_out.buffer();
        skipSpace();
        if (m_in.ensure(6).substr(0, 6) == "\"lead\"") {
            key("lead");
            m_scratch.clear();
            readString(m_scratch);
            o += m_scratch;
            expect(',');
        }
        key("separators");
        expect('{');
        m_sep.element = separator("element", false);
        expect(',');
        m_sep.component = separator("component", false);
        expect(',');
        m_sep.repetition = separator("repetition", true);
        expect(',');
        m_sep.terminator = separator("segment", false);
        expect('}');
        try {
            m_sep.validate();
        } catch (const X12ValueError &e) {
            fail(e.what());
        }
        std::fill(std::begin(m_forbidden), std::end(m_forbidden), 0);
        m_forbidden[static_cast<unsigned char>(m_sep.element)] = kAlways;
        m_forbidden[static_cast<unsigned char>(m_sep.terminator)] = kAlways;
        m_forbidden[static_cast<unsigned char>(m_sep.component)] = kOutsideIsa;
        if (m_sep.repetition)
            m_forbidden[static_cast<unsigned char>(m_sep.repetition)] = kOutsideIsa;
        expect(',');
        key("end");
        m_defaultEnd.clear();
        readString(m_defaultEnd);
        if (m_defaultEnd.empty())
            fail("the interchange's \"end\" holds at least the terminator");
        checkEnd(m_defaultEnd);
        expect(',');
        key("segments");
        expect('[');
        bool first = true;
        if (!consume(']')) {
            do {
                segment(first);
                first = false;
            } while (consume(','));
            expect(']');
        }
        if (first)
            fail("an interchange begins with its ISA");
        expect('}');
        m_out.maybeFlush();
    }

    // Text after a segment without terminator would join it.
    void requireTerminated() const
    {
        if (m_unterminated)
            fail("only the last segment of the file may have an empty \"end\"");
    }

    void segment(bool isa)
    {
        requireTerminated();
        m_out.maybeFlush();
        std::string &o = m_out.buffer();
        if (peek() == '[') {
            elements(isa);
            o += m_defaultEnd;
            return;
        }
        expect('{');
        key("elements");
        elements(isa);
        expect(',');
        key("end");
        m_end.clear();
        readString(m_end);
        checkEnd(m_end);
        if (isa && m_end.empty())
            fail("the ISA ends with its terminator");
        m_unterminated = m_end.empty();
        o += m_end;
        expect('}');
    }

    // One value: none of the separators (bar those allowed) may be in it.
    // Decoded straight into the output, then checked there.
    void leaf(bool inIsa)
    {
        std::string &o = m_out.buffer();
        const std::size_t start = o.size();
        readString(o);
        const unsigned char bad = inIsa ? kAlways : kAlways | kOutsideIsa;
        for (std::size_t i = start; i < o.size(); ++i) {
            const unsigned char k = m_forbidden[static_cast<unsigned char>(o[i])];
            if (!(k & bad))
                continue;
            if (k & kAlways)
                fail("the value \"" + o.substr(start) + "\" holds a separator");
            fail("the value \"" + o.substr(start) + "\" holds a separator: give components and repetitions as arrays");
        }
    }

    void elements(bool isa)
    {
        std::string &o = m_out.buffer();
        const std::size_t start = o.size();
        expect('[');
        int count = 0;
        do {
            if (count++)
                o += m_sep.element;
            if (peek() == '"' || isa) {
                leaf(isa);
                continue;
            }
            if (count == 1)
                fail("a segment's tag is a string");
            composite();
        } while (consume(','));
        expect(']');
        if (isa)
            checkISA(std::string_view(o).substr(start), count);
    }

    void composite()
    {
        std::string &o = m_out.buffer();
        expect('[');
        int reps = 0;
        do {
            if (reps++) {
                if (!m_sep.repetition)
                    fail("repetitions without a repetition separator");
                o += m_sep.repetition;
            }
            expect('[');
            int comps = 0;
            do {
                if (comps++)
                    o += m_sep.component;
                leaf(false);
            } while (consume(','));
            expect(']');
        } while (consume(','));
        expect(']');
    }

    void checkISA(std::string_view content, int count) const
    {
        if (count != 17 || content.size() != 105)
            fail("the ISA has 16 elements and 106 characters with its terminator");
        std::string isa(content);
        isa += m_sep.terminator;
        if (!looksLikeISA(isa))
            fail("the ISA's elements do not have their fixed widths");
        const X12Separators read = X12Separators::ofISA(isa);
        if (read.component != m_sep.component || read.repetition != m_sep.repetition)
            fail("the ISA's separators (ISA11, ISA16) differ from \"separators\"");
    }

    // Bytes that end a plain run inside a JSON string.
    static constexpr auto kStringStop = [] {
        std::array<bool, 256> t{};
        for (int c = 0; c < 256; ++c)
            t[static_cast<std::size_t>(c)] = c < 0x20 || c >= 0x80 || c == '"' || c == '\\';
        return t;
    }();
    // Separators a value may not hold: never, or outside the ISA.
    static constexpr unsigned char kAlways = 1, kOutsideIsa = 2;
    unsigned char m_forbidden[256] = {};

    InputWindow m_in;
    OutputBlock m_out;
    X12Separators m_sep;
    std::string m_defaultEnd, m_end, m_scratch, m_key;
    long long m_line = 1;
    bool m_unterminated = false;
};

} // namespace

void x12ToJson(ByteSource in, ByteSink out)
{
    X12ToJson(std::move(in), std::move(out)).run();
}

void jsonToX12(ByteSource in, ByteSink out)
{
    JsonToX12(std::move(in), std::move(out)).run();
}

std::string x12ToJson(std::string_view x12)
{
    std::string out;
    x12ToJson(stringSource(x12), stringSink(out));
    return out;
}

std::string jsonToX12(std::string_view json)
{
    std::string out;
    jsonToX12(stringSource(json), stringSink(out));
    return out;
}

} // namespace pelldrake::edi
