#pragma once
// Raw X12 text in and out: the separators of an interchange, a builder that
// places elements, repetitions and components for a program (and refuses a
// value that would change the structure), and the byte source and sink the
// streaming converters read and write through.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pelldrake::edi {

// Reads up to n bytes into buf; 0 at the end. Throws on a read error.
using ByteSource = std::function<std::size_t(char *buf, std::size_t n)>;
// Takes the next bytes of the output. Throws when they cannot be written.
using ByteSink = std::function<void(std::string_view bytes)>;

ByteSource fileSource(std::FILE *in);
ByteSource stringSource(std::string_view text);   // text must outlive the source
ByteSink stringSink(std::string &out);

// A value the X12 text cannot carry as given (it holds a separator, or the
// separators clash); the message says which.
class X12ValueError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

struct X12Separators {
    char element = '*';
    char component = ':';
    char repetition = 0;   // 0: none (ISA11 is a code such as U)
    char terminator = '~';

    // From the 106-character ISA (terminator at 105). ISA11 counts as the
    // repetition separator when it is punctuation, not a letter, digit or blank.
    static X12Separators ofISA(std::string_view isa);
    // Throws X12ValueError unless the separators are distinct and not
    // letters, digits or blanks (the repetition separator may be absent).
    void validate() const;
    bool isSeparator(char c) const
    {
        return c == element || c == component || c == terminator || (repetition && c == repetition);
    }
};

// True when isa (at least 106 bytes) has the ISA layout: the tag, the element
// separator at its 16 fixed places and the fixed element widths.
bool looksLikeISA(std::string_view isa);

// Builds segments one element at a time. Trailing empty elements and
// components are left out, as X12 asks; an empty element inside is kept.
class SegmentBuilder {
public:
    // suffix: what follows each terminator (e.g. "\r\n"); CR and LF only.
    explicit SegmentBuilder(X12Separators separators, std::string suffix = {});

    SegmentBuilder &begin(std::string_view tag);
    SegmentBuilder &element(std::string_view value);
    SegmentBuilder &element(long long number, int width = 0);   // zero-padded to width
    SegmentBuilder &composite(std::initializer_list<std::string_view> components);
    // Appends the terminator and suffix; the segment count goes up by one.
    SegmentBuilder &end();

    const std::string &text() const { return m_text; }
    std::string take();
    std::size_t segmentCount() const { return m_segments; }

private:
    void checkValue(std::string_view value) const;

    X12Separators m_sep;
    std::string m_suffix;
    std::string m_text;
    std::size_t m_pendingEmpty = 0;
    std::size_t m_segments = 0;
    bool m_open = false;
};

// Input read in large blocks with a window that a caller can ask to hold n
// bytes from its position (fewer only at the end of the input).
class InputWindow {
public:
    explicit InputWindow(ByteSource source, std::size_t block = 1 << 20)
        : m_source(std::move(source)), m_block(block)
    {
    }
    // The bytes held from the position on, at least n unless the input ends first.
    std::string_view ensure(std::size_t n)
    {
        return m_len - m_pos >= n || m_eof ? held() : refill(n);
    }
    std::string_view held() const { return {m_buf.data() + m_pos, m_len - m_pos}; }
    void advance(std::size_t n)
    {
        m_pos += n;
        m_offset += n;
    }
    // More bytes than held() may follow.
    bool more() const { return !m_eof; }
    // Bytes consumed from the start of the input.
    std::uint64_t offset() const { return m_offset; }

private:
    std::string_view refill(std::size_t n);

    ByteSource m_source;
    std::size_t m_block;
    std::vector<char> m_buf;
    std::size_t m_pos = 0, m_len = 0;
    std::uint64_t m_offset = 0;
    bool m_eof = false;
};

// Output gathered in a block and handed to the sink when the block is full.
class OutputBlock {
public:
    explicit OutputBlock(ByteSink sink, std::size_t block = 1 << 20) : m_sink(std::move(sink)), m_block(block)
    {
        m_buf.reserve(block + 4096);
    }
    std::string &buffer() { return m_buf; }
    void maybeFlush()
    {
        if (m_buf.size() >= m_block)
            flush();
    }
    void flush()
    {
        if (!m_buf.empty())
            m_sink(m_buf);
        m_buf.clear();
    }

private:
    ByteSink m_sink;
    std::size_t m_block;
    std::string m_buf;
};

} // namespace pelldrake::edi
