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

#include <cstdint>
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
template <typename F>
void forEachLine(std::string_view text, F &&f)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        std::size_t j = i;
        while (j < n && text[j] != '\r' && text[j] != '\n')
            ++j;
        f(text.substr(i, j - i));
        if (j < n && text[j] == '\r' && j + 1 < n && text[j + 1] == '\n')
            ++j;
        i = j + 1;
    }
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
