#include "edi/segment_list.h"

#include <algorithm>
#include <bit>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif
#include <limits>

namespace pelldrake::edi {

SegmentIndexError::SegmentIndexError(long long index)
    : std::out_of_range("segment list index out of bounds (" + std::to_string(index) + ")")
{
}

std::size_t findLineBreak(const char *p, std::size_t from, std::size_t n)
{
    std::size_t i = from;
#if defined(__SSE2__) || defined(_M_X64)
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    for (; i + 16 <= n; i += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
        const unsigned mask =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf))));
        if (mask != 0)
            return i + static_cast<std::size_t>(std::countr_zero(mask));
    }
#endif
    for (; i < n; ++i)
        if (p[i] == '\r' || p[i] == '\n')
            return i;
    return n;
}

std::size_t countChar(std::string_view text, char c)
{
    std::size_t n = 0, i = 0;
    const char *p = text.data();
#if defined(__SSE2__) || defined(_M_X64)
    // Matches count down in 16 byte lanes (a match is -1), summed every 255
    // rounds before a lane could wrap.
    const __m128i want = _mm_set1_epi8(c);
    const __m128i zero = _mm_setzero_si128();
    while (i + 16 <= text.size()) {
        __m128i acc = zero;
        for (int round = 0; round < 255 && i + 16 <= text.size(); ++round, i += 16) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + i));
            acc = _mm_sub_epi8(acc, _mm_cmpeq_epi8(v, want));
        }
        const __m128i sums = _mm_sad_epu8(acc, zero);
        n += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) + static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
    }
#endif
    for (; i < text.size(); ++i)
        n += p[i] == c;
    return n;
}

std::vector<std::string> splitLines(std::string_view text)
{
    std::vector<std::string> out;
    forEachLine(text, [&](std::string_view line) { out.emplace_back(line); });
    return out;
}

std::string_view elementOf(std::string_view segment, std::string_view separator, long long index)
{
    if (separator.empty() || index < 0)
        return {};
    if (separator.size() == 1) {
        // Segments are short: a plain scan beats a search call per element.
        const char sep = separator[0];
        const char *const b = segment.data();
        const char *const e = b + segment.size();
        const char *p = b;
        for (long long c = 0; c < index; ++c) {
            while (p < e && *p != sep)
                ++p;
            if (p == e)
                return {};
            ++p;
        }
        const char *q = p;
        while (q < e && *q != sep)
            ++q;
        return segment.substr(static_cast<std::size_t>(p - b), static_cast<std::size_t>(q - p));
    }
    std::size_t start = 0;
    for (long long c = 0;; ++c) {
        const std::size_t p = segment.find(separator, start);
        if (p == std::string_view::npos) {
            // The last element is closed by the end of the segment.
            return c == index ? segment.substr(start) : std::string_view{};
        }
        if (c == index)
            return segment.substr(start, p - start);
        start = p + separator.size();
    }
}

int countElements(std::string_view segment, std::string_view separator)
{
    if (separator.empty())
        return 0;
    if (separator.size() == 1)
        return 1 + static_cast<int>(std::count(segment.begin(), segment.end(), separator[0]));
    int count = 1;
    for (std::size_t p = segment.find(separator); p != std::string_view::npos;
         p = segment.find(separator, p + separator.size()))
        ++count;
    return count;
}

int toInt(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size())
        throw ConversionError("'" + std::string(text) + "' is not a valid integer value");
    long long value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9')
            throw ConversionError("'" + std::string(text) + "' is not a valid integer value");
        value = value * 10 + (c - '0');
        if (value > static_cast<long long>(std::numeric_limits<int>::max()) + 1)
            throw ConversionError("'" + std::string(text) + "' is not a valid integer value");
    }
    if (negative)
        value = -value;
    if (value > std::numeric_limits<int>::max() || value < std::numeric_limits<int>::min())
        throw ConversionError("'" + std::string(text) + "' is not a valid integer value");
    return static_cast<int>(value);
}

const std::string &SegmentList::entry(long long index) const
{
    if (index < 0 || index >= static_cast<long long>(segmentList.size()))
        throw SegmentIndexError(index);
    return segmentList[static_cast<std::size_t>(index)];
}

void SegmentList::prevSegment()
{
    if (segmentIndex > 0)
        --segmentIndex;
}

void SegmentList::nextSegment()
{
    if (segmentIndex < std::numeric_limits<std::int32_t>::max())
        ++segmentIndex;
}

void SegmentList::setSegmentIndex(int index)
{
    if (index < segmentCount)
        segmentIndex = index;
}

void SegmentList::deleteSegment()
{
    if (segmentIndex < segmentCount) {
        entry(segmentIndex); // raises the index error when the cursor is off the list
        segmentList.erase(segmentList.begin() + segmentIndex);
    }
}

void SegmentList::getElementCount(const std::string &segment)
{
    elementCount = countElements(segment, elementSeparator);
}

void SegmentList::getNextSegmentName(int index)
{
    nextSegmentName.clear();
    if (index >= static_cast<long long>(segmentList.size()))
        return;
    const std::string &seg = entry(index);
    if (elementSeparator.empty())
        return;
    const auto p = elementSeparator.size() == 1 ? seg.find(elementSeparator[0]) : seg.find(elementSeparator);
    if (p != std::string::npos)
        nextSegmentName.assign(seg, 0, p);
}

std::string SegmentList::getSegmentName(int index)
{
    elementCount = 0;
    const std::string &seg = entry(index);
    if (elementSeparator.empty())
        return {};
    const auto p = elementSeparator.size() == 1 ? seg.find(elementSeparator[0]) : seg.find(elementSeparator);
    if (p == std::string::npos)
        return {};
    getElementCount(seg);
    getNextSegmentName(index + 1);
    return seg.substr(0, p);
}

std::string SegmentList::getSegmentValue(const std::string &segment, const std::string &index) const
{
    return std::string(elementOf(segment, elementSeparator, toInt(index)));
}

std::string SegmentList::getElementValue(int index) const
{
    return std::string(elementOf(entry(segmentIndex), elementSeparator, index));
}

std::string SegmentList::lookupElementValue(const std::string &segmentName, int elementIndex, int keyElementIndex,
                                            const std::string &keyValue)
{
    const std::int32_t saved = segmentIndex;
    std::string result;
    const int count = static_cast<int>(segmentList.size());
    for (int i = 0; i < count; ++i) {
        segmentIndex = i;
        if (getSegmentName(i) == segmentName && !keyValue.empty() && keyElementIndex != 0
            && getElementValue(keyElementIndex) == keyValue)
            result = getElementValue(elementIndex);
    }
    segmentIndex = saved;
    return result;
}

void SegmentList::setSegmentsFromText(std::string_view text)
{
    // Assign into the entries already there, so walking set after set reuses
    // their storage instead of allocating every segment anew.
    std::size_t n = 0;
    forEachLine(text, [&](std::string_view line) {
        if (n < segmentList.size())
            segmentList[n].assign(line);
        else
            segmentList.emplace_back(line);
        ++n;
    });
    segmentList.resize(n);
    segmentCount = static_cast<std::int32_t>(segmentList.size());
    segmentIndex = 0;
}

void SegmentList::clearSegments()
{
    segmentList.clear();
    segmentCount = 0;
    segmentIndex = 0;
}

} // namespace pelldrake::edi
