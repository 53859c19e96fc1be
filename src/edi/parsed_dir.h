#pragma once
// The checker's parsed directory: splitting a raw X12 interchange into parsed
// files, one per functional group, and listing and cleaning the directory.
//
// A parsed file holds three header lines (segment terminator and element
// separator as signed decimal character codes, then the sub-element separator
// itself) and then one segment per line: the ISA, one GS..GE group and the
// IEA. Lines end with CR LF. Names are the local time "yyyymmddhhnnsszzz.edi".
//
// A run cuts the input with the splitter core it shares with the reader
// (edi/interchange_splitter.h): 2000-byte blocks, separators from the ISA
// header, line breaks that are not the terminator dropped, transport bytes
// before an ISA skipped. Each ISA starts a parsed file; each further GS of the
// same interchange starts one that begins with that interchange's ISA, and the
// group before it is closed with the interchange's own IEA (found by looking
// ahead once per interchange; the IEA at the end of the file when the
// interchange has none). Files are created exclusively and never replace one
// written before: a taken name moves on to the next millisecond, so names stay
// unique and in writing order without pauses.
//
// The set is written into a directory beside the parsed directory, named
// parsedDir.tmp<digits>, which is renamed over the (emptied) parsed directory
// once every file is whole: a run that is killed leaves the parsed directory
// empty and that directory behind (removeStaleTemporaries takes it away), a
// run that fails removes it. When the clean-up left subdirectories or links in
// the parsed directory, the files are moved in one by one instead.
#include <string>
#include <vector>

namespace pelldrake::edi {

struct ParseResult {
    bool ok = false;
    std::string elementSeparator;      // of the last ISA split
    std::string subElementSeparator;   // ISA16 of the last ISA split
    std::vector<std::string> files;    // the parsed files written, in order
    std::string error;                 // why ok is false
};

// Splits ediFileName into parsedDirPath. The directory is emptied first, so a
// failed run leaves it empty. ok is false when the input cannot be opened, is
// empty, holds no usable ISA header, cannot be read to its end or holds a
// segment longer than kMaxSegmentLength, and when a parsed file could not be
// created or written whole (error gives the system's reason); nothing of such
// a run stays in the parsed directory.
// Refused before anything is deleted: a parsed directory that is a symbolic
// link, an input that lies in the parsed directory.
ParseResult splitIntoParsedFiles(const std::string &ediFileName, const std::string &parsedDirPath);

// Deletes the regular files (not subdirectories or links) of the directory;
// failures are left. False, deleting nothing, when the directory is a link.
bool cleanParsedDirectory(const std::string &parsedDirPath);

// Appends directory + separator + name for every entry, files and
// subdirectories alike, sorted by name (time-stamp names: writing order).
void listParsedDirectory(const std::string &parsedDirPath, std::vector<std::string> &list);

} // namespace pelldrake::edi
