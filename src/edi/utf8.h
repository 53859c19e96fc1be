#pragma once

#include <cstddef>
#include <string_view>

namespace pelldrake::edi {

// The length (2 to 4) of the well-formed UTF-8 sequence that begins at s[i], or 0 when none does
// there (an ASCII byte, a stray or cut-short sequence, an overlong form, a surrogate, a code point
// past U+10FFFF). With `codePoint`, the code point it encodes is stored there.
std::size_t utf8SequenceLength(std::string_view s, std::size_t i, unsigned *codePoint = nullptr);

} // namespace pelldrake::edi
