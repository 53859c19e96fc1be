#pragma once
// A lossless JSON form of X12 files, and back: X12 -> JSON -> X12 gives the
// same bytes. Both directions stream: memory stays within a block or two
// whatever the size of the file.
//
// The form is positional and holds strings only (control numbers keep their
// leading zeros, IDs their padding):
//   {"x12json":"1",
//    "interchanges":[
//     {"lead":"...",                      bytes before the ISA, only when any
//      "separators":{"element":"*","component":":","repetition":"^","segment":"~"},
//      "end":"~\r\n",                     terminator and line break after the ISA,
//                                         and after every segment unless it says
//      "segments":[
//       ["ISA","00","          ",...],   the ISA's 16 elements exactly as read
//       ["N1","ST","X"],                  a segment: its tag, then its elements
//       ["REF","ZZ",[["A","B"]]],         components: one repetition of two
//       ["PER","IC",[["1"],["2"]]],       repetitions: two of one component
//       {"elements":["SE","5","0001"],"end":"~"}   a segment ended otherwise
//      ]}],
//    "trail":"..."}                       bytes after the last interchange, when any
// An element with neither a component nor a repetition separator is a
// string; otherwise an array of repetitions, each an array of components.
// "repetition" is "" when ISA11 is no separator (a letter such as U). An
// "end" of "" marks a last segment without terminator. The bytes after a
// terminator that are CR or LF belong to its "end"; anything else before the
// next ISA is the next interchange's "lead" (or the "trail").
//
// Strings: ASCII as is; a UTF-8 character from U+0100 up as itself; every
// other byte from 0x80 up (single bytes of other encodings, and the two bytes
// of U+0080..U+00FF) as the character U+0080..U+00FF of the same number.
// Reading back turns characters below U+0100 into one byte each.
//
// from-json reads the keys in the order above and refuses a value that would
// not come back the same: a separator inside a value, an "end" that is not
// the terminator followed by CR/LF, an ISA that is not 106 characters.
#include "edi/x12_text.h"

#include <stdexcept>
#include <string>

namespace pelldrake::edi {

// Input the converter cannot take: no X12, or JSON not of the form above.
// The message says where.
class X12FormError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

void x12ToJson(ByteSource in, ByteSink out);
void jsonToX12(ByteSource in, ByteSink out);

// Whole texts, for callers with the text in memory.
std::string x12ToJson(std::string_view x12);
std::string jsonToX12(std::string_view json);

} // namespace pelldrake::edi
