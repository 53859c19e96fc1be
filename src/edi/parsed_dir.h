#pragma once
// The checker's parsed directory: splitting a raw X12 interchange into parsed
// files, one per functional group, and listing and cleaning the directory.
//
// A parsed file holds three header lines (segment terminator and element
// separator as signed decimal character codes, then the sub-element separator
// itself) and then one segment per line: the ISA, one GS..GE group and the
// IEA. Lines end with CR LF. Names are the local time "yyyymmddhhnnsszzz.edi".
//
// How a run splits:
// - The input is read in 2000-byte blocks (each taken up to its first zero
//   byte); the unsplit text is topped up when fewer than 1000 characters
//   remain, so memory stays small whatever the file size.
// - Separators come from the fixed ISA layout: element separator at character
//   4, terminator at character 106. When the first line feed stands at 106 or
//   107 and character 106 is a line feed or carriage return, the line feed is
//   the terminator and carriage returns go. A terminator followed by a bare
//   line feed is cut as the terminator, with the line breaks dropped. Text
//   wrapped in 80-column lines (first line feed at 82) is joined first.
// - Each ISA starts a parsed file; each further GS of the same interchange
//   starts one that begins with that interchange's ISA. The interchange's IEA
//   closes its last group and is appended to every earlier group file of the
//   same interchange, so each file carries its own interchange's envelope,
//   also when one input holds several interchanges.
// - Files are created exclusively and never replace a file written before:
//   when a name is taken the next millisecond is used, so names stay unique
//   and in writing order without any pause.
#include <string>
#include <vector>

namespace pelldrake::edi {

struct ParseResult {
    bool ok = false;
    std::string elementSeparator;      // of the last ISA split
    std::string subElementSeparator;   // ISA16 of the last ISA split
    std::vector<std::string> files;    // the parsed files written, in order
};

// Splits ediFileName into parsedDirPath. The directory is emptied first, so a
// failed run leaves it empty. ok is false when the input cannot be opened, is
// empty, or holds no usable ISA header.
ParseResult splitIntoParsedFiles(const std::string &ediFileName, const std::string &parsedDirPath);

// Deletes the files (not subdirectories) of the directory; failures are left.
void cleanParsedDirectory(const std::string &parsedDirPath);

// Appends directory + separator + name for every entry, files and
// subdirectories alike, sorted by name (time-stamp names: writing order).
void listParsedDirectory(const std::string &parsedDirPath, std::vector<std::string> &list);

// The signed decimal code of a separator character (a tilde gives 126).
std::string separatorCode(char c);

} // namespace pelldrake::edi
