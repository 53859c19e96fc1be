#pragma once
// Tab-separated text as spreadsheet programs read it: the tab export's file and the grid's copy
// write their values through this one rule.
#include <QByteArray>
#include <QByteArrayView>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pelldrake::engine {

// Whether a value holds a tab, CR or LF: sixteen bytes at a time, as it runs over every byte
// of an export.
inline bool hasTabOrLineEnd(QByteArrayView utf8)
{
    const char *p = utf8.data();
    const char *const end = p + utf8.size();
#if defined(__SSE2__)
    const __m128i cr = _mm_set1_epi8('\r');
    for (; end - p >= 16; p += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        // A byte up to CR (unsigned): the rare case, looked at byte by byte below.
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(v, cr), v)) != 0)
            break;
    }
#endif
    for (; p != end; ++p) {
        const auto c = static_cast<unsigned char>(*p);
        if (c <= '\r' && (c == '\t' || c == '\n' || c == '\r'))
            return true;
    }
    return false;
}

// A value goes out as it is unless it holds a tab, CR or LF or begins with a quote; then it is
// quoted, inner quotes doubled, so one record stays one line. Nearly every value goes as it is.
inline bool tabValueNeedsQuotes(QByteArrayView utf8)
{
    return (!utf8.isEmpty() && utf8.front() == '"') || hasTabOrLineEnd(utf8);
}

// Appends a value in that form.
inline void appendTabValue(QByteArray &out, QByteArrayView utf8)
{
    if (!tabValueNeedsQuotes(utf8)) {
        out.append(utf8);
        return;
    }
    out.append('"');
    for (const char c : utf8) {
        out.append(c);
        if (c == '"')
            out.append('"');
    }
    out.append('"');
}

} // namespace pelldrake::engine
