#include "edi/x12_text.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace pelldrake::edi {

namespace {

// Where the element separators of an ISA stand: its elements have fixed widths.
constexpr std::size_t kIsaSeparatorAt[] = {3, 6, 17, 20, 31, 34, 50, 53, 69, 76, 81, 83, 89, 99, 101, 103};

bool isWordChar(char c)
{
    return std::isalnum(static_cast<unsigned char>(c)) || c == ' ';
}

std::string describe(char c)
{
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x21 && u < 0x7f)
        return std::string("\"") + c + "\"";
    static const char hex[] = "0123456789abcdef";
    return std::string("byte 0x") + hex[u >> 4] + hex[u & 15];
}

} // namespace

ByteSource fileSource(std::FILE *in)
{
    return [in](char *buf, std::size_t n) {
        const std::size_t got = std::fread(buf, 1, n, in);
        if (got < n && std::ferror(in))
            throw std::runtime_error(std::string("read error: ") + std::strerror(errno));
        return got;
    };
}

ByteSource stringSource(std::string_view text)
{
    return [text, pos = std::size_t{0}](char *buf, std::size_t n) mutable {
        const std::size_t k = std::min(n, text.size() - pos);
        std::memcpy(buf, text.data() + pos, k);
        pos += k;
        return k;
    };
}

ByteSink stringSink(std::string &out)
{
    return [&out](std::string_view bytes) { out.append(bytes); };
}

bool looksLikeISA(std::string_view isa)
{
    if (isa.size() < 106 || isa.substr(0, 3) != "ISA")
        return false;
    const char sep = isa[3];
    if (isWordChar(sep) || sep == '\r' || sep == '\n')
        return false;
    for (const std::size_t at : kIsaSeparatorAt)
        if (isa[at] != sep)
            return false;
    // No separator inside the fixed-width elements (ISA11 and ISA16 hold one
    // character each and are checked by the separators).
    return std::count(isa.begin(), isa.begin() + 105, sep) == 16;
}

X12Separators X12Separators::ofISA(std::string_view isa)
{
    X12Separators s;
    s.element = isa[3];
    s.component = isa[104];
    s.terminator = isa[105];
    const char rep = isa[82];
    s.repetition = isWordChar(rep) || rep == s.element || rep == s.component || rep == s.terminator ? 0 : rep;
    return s;
}

void X12Separators::validate() const
{
    const char all[] = {element, component, terminator};
    for (const char c : all)
        if (isWordChar(c))
            throw X12ValueError("a separator cannot be a letter, digit or blank: " + describe(c));
    if (element == component || element == terminator || component == terminator)
        throw X12ValueError("the element, component and segment separators must differ");
    if (repetition && (isWordChar(repetition) || repetition == element || repetition == component ||
                       repetition == terminator))
        throw X12ValueError("the repetition separator " + describe(repetition) + " clashes with another separator");
}

SegmentBuilder::SegmentBuilder(X12Separators separators, std::string suffix)
    : m_sep(separators), m_suffix(std::move(suffix))
{
    m_sep.validate();
    if (m_suffix.find_first_not_of("\r\n") != std::string::npos)
        throw X12ValueError("only CR and LF may follow a segment terminator");
}

void SegmentBuilder::checkValue(std::string_view value) const
{
    for (const char c : value)
        if (m_sep.isSeparator(c))
            throw X12ValueError("the value \"" + std::string(value) + "\" holds the separator " + describe(c));
}

SegmentBuilder &SegmentBuilder::begin(std::string_view tag)
{
    if (m_open)
        end();
    if (tag.empty())
        throw X12ValueError("a segment needs its tag");
    checkValue(tag);
    m_text.append(tag);
    m_pendingEmpty = 0;
    m_open = true;
    return *this;
}

SegmentBuilder &SegmentBuilder::element(std::string_view value)
{
    checkValue(value);
    ++m_pendingEmpty;
    if (value.empty())
        return *this;
    m_text.append(m_pendingEmpty, m_sep.element);
    m_pendingEmpty = 0;
    m_text.append(value);
    return *this;
}

SegmentBuilder &SegmentBuilder::element(long long number, int width)
{
    std::string digits = std::to_string(number < 0 ? -number : number);
    if (static_cast<int>(digits.size()) < width)
        digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
    return element(number < 0 ? "-" + digits : digits);
}

SegmentBuilder &SegmentBuilder::composite(std::initializer_list<std::string_view> components)
{
    std::vector<std::string_view> parts(components);
    while (!parts.empty() && parts.back().empty())
        parts.pop_back();
    std::string joined;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        checkValue(parts[i]);
        if (i)
            joined += m_sep.component;
        joined.append(parts[i]);
    }
    ++m_pendingEmpty;
    if (!joined.empty()) {
        m_text.append(m_pendingEmpty, m_sep.element);
        m_pendingEmpty = 0;
        m_text.append(joined);
    }
    return *this;
}

SegmentBuilder &SegmentBuilder::end()
{
    if (!m_open)
        return *this;
    m_text += m_sep.terminator;
    m_text += m_suffix;
    m_open = false;
    ++m_segments;
    return *this;
}

std::string SegmentBuilder::take()
{
    end();
    std::string out;
    out.swap(m_text);
    return out;
}

std::string_view InputWindow::refill(std::size_t n)
{
    if (m_pos > 0) {
        std::memmove(m_buf.data(), m_buf.data() + m_pos, m_len - m_pos);
        m_len -= m_pos;
        m_pos = 0;
    }
    const std::size_t want = std::max(n, m_block);
    if (m_buf.size() < want)
        m_buf.resize(want);
    while (m_len < n && !m_eof) {
        const std::size_t got = m_source(m_buf.data() + m_len, m_buf.size() - m_len);
        m_len += got;
        m_eof = got == 0;
    }
    return held();
}

} // namespace pelldrake::edi
