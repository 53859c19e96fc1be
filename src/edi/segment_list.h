// The segments of one transaction set with a cursor, and the operations that
// name segments and read their elements. The reader and the checker both
// derive from SegmentList and so share this one implementation; each fills
// `segmentList` with its own loadDocument.
//
// Behaviour callers rely on and that is kept on purpose:
// - nextSegment() has no upper bound; setSegmentIndex() accepts a negative index;
// - deleteSegment() leaves segmentCount and segmentIndex as they were;
// - lookupElementValue() scans the whole list and the last match wins.
// Reading an entry outside the list throws SegmentIndexError; nothing reads
// outside the list.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace pelldrake::edi {

class SegmentIndexError : public std::out_of_range {
public:
    explicit SegmentIndexError(long long index);
};

// Raised for an element number given as text that is not a decimal integer.
class ConversionError : public std::invalid_argument {
public:
    using std::invalid_argument::invalid_argument;
};

// Splits text into lines at CR, LF or CR LF; a final line break ends the last
// line and adds no empty entry. An empty text gives no lines.
std::vector<std::string> splitLines(std::string_view text);

// Calls f(line) for every line of text, with the same rules as splitLines.
// Index of the first CR or LF in [from, n) of p; n when none.
std::size_t findLineBreak(const char *p, std::size_t from, std::size_t n);

template <typename F>
void forEachLine(std::string_view text, F &&f)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    const char *const base = text.data();
    while (i < n) {
        const std::size_t j = findLineBreak(base, i, n);
        f(text.substr(i, j - i));
        i = j + 1;
        if (j < n && base[j] == '\r' && i < n && base[i] == '\n')
            ++i;
    }
}

// Occurrences of c in text (16 bytes at a time where the processor allows).
std::size_t countChar(std::string_view text, char c);

// The number of lines forEachLine gives, counted without walking them.
inline std::size_t countLines(std::string_view text)
{
    if (text.empty())
        return 0;
    std::size_t breaks = countChar(text, '\n');
    if (text.find('\r') != std::string_view::npos) // a CR is a break unless an LF follows it
        for (std::size_t i = 0; i < text.size(); ++i)
            breaks += text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n');
    const char last = text.back();
    return breaks + (last != '\n' && last != '\r');
}

// The last line forEachLine gives (empty when there is none).
inline std::string_view lastLineOf(std::string_view text)
{
    std::size_t end = text.size();
    if (end > 0 && text[end - 1] == '\n')
        --end;
    if (end > 0 && text[end - 1] == '\r')
        --end;
    if (end < text.size() && end == 0)
        return {};
    const std::size_t brk = text.find_last_of("\r\n", end == 0 ? 0 : end - 1);
    const std::size_t begin = brk == std::string_view::npos || end == 0 ? 0 : brk + 1;
    return text.substr(begin, end - begin);
}

// Element `index` of segment split at separator; 0 is the tag. Sub-elements are
// not split, nothing is trimmed. Empty for a negative index, an index past the
// last element, or an empty separator.
std::string_view elementOf(std::string_view segment, std::string_view separator, long long index);

// Number of elements of segment including its tag; 0 with an empty separator.
int countElements(std::string_view segment, std::string_view separator);

// Decimal text to integer: optional blanks, optional sign, digits. Throws
// ConversionError otherwise (or when out of the int range).
int toInt(std::string_view text);

class SegmentList {
public:
    // Public state, read (and partly set) by the component's user.
    std::vector<std::string> segmentList;
    std::string elementSeparator;
    std::string subElementSeparator;
    std::string nextSegmentName;
    std::int32_t segmentCount = 0;
    std::int32_t elementCount = 0;
    std::int32_t segmentIndex = 0;

    // Cursor.
    void prevSegment();
    void nextSegment();
    void setSegmentIndex(int index);
    void deleteSegment();

    // Naming and counting.
    std::string getSegmentName(int index);
    void getNextSegmentName(int index);
    void getElementCount(const std::string &segment);

    // Element access.
    std::string getSegmentValue(const std::string &segment, const std::string &index) const;
    std::string getElementValue(int index) const;
    std::string lookupElementValue(const std::string &segmentName, int elementIndex, int keyElementIndex,
                                   const std::string &keyValue);

    // Replaces the list with the lines of text (CR, LF or CR LF), cursor to 0.
    void setSegmentsFromText(std::string_view text);
    void clearSegments();

protected:
    // Entry index of segmentList; throws SegmentIndexError outside the list.
    const std::string &entry(long long index) const;
};

} // namespace pelldrake::edi
