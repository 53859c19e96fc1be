#pragma once
// Pulls EDI text out of an ACH payment file.
//
// ACH files are 94-character records; addenda records (type code '7') carry an
// 80-character piece of EDI text in characters 4-83. The working lines are kept
// in lines() and can be read after every step:
//   loadACHFile   the file's records, one per line. Lines may end in CR LF, LF
//                 or CR; a file with no line ends at all is cut into 94-character
//                 records. Nothing is trimmed.
//   extractEDI    keeps the addenda records and cuts each to its payment text:
//                 3 characters off the front and 11 off the back, by count, so a
//                 record shorter than 94 characters also loses payment text.
//   saveEDIData   writes the pieces joined, no separators, no line ends,
//                 trailing blanks kept.
//   storeCopyOfACH  a byte-for-byte copy of any file.
#include <string>
#include <vector>

namespace pelldrake::edi {

class TlynEDIFromACH {
public:
    static constexpr size_t kRecordLength = 94;

    TlynEDIFromACH() = default;

    // A missing file leaves the list empty. A file that is there but cannot be
    // read (no permission, a directory, a read error) throws FileError: an
    // unreadable payment file is never taken for one without addenda.
    void loadACHFile(const std::string &fileName);
    void extractEDI();
    // A file that cannot be written is left as it was; nothing is reported.
    void saveEDIData(const std::string &fileName) const;
    // saveEDIData that tells whether the whole text reached the file. The text
    // goes to a temporary file renamed over fileName when complete.
    bool trySaveEDIData(const std::string &fileName) const;
    // Throws std::runtime_error naming the file when the source cannot be
    // opened, the destination cannot be created or the copy fails. The copy is
    // written beside the destination and renamed over it when complete, so a
    // failed copy leaves the old destination whole.
    static void storeCopyOfACH(const std::string &source, const std::string &destination);

    // The working lines. Loading keeps them in one buffer (about the size of
    // the file) until they are asked for here; a program that only loads,
    // extracts and saves never needs more memory than that.
    const std::vector<std::string> &lines() const;
    std::vector<std::string> &lines();
    // How many lines there are, and their bytes in all, without lines().
    std::size_t lineCount() const;
    std::size_t textSize() const;
    void clear();

    // Splits ACH text into records as loadACHFile does.
    static std::vector<std::string> splitRecords(const std::string &text);

private:
    void materialize() const;

    // Either the lines are in m_lines, or (m_packed) in m_text, line i being
    // m_text[m_ends[i-1], m_ends[i]).
    mutable std::vector<std::string> m_lines;
    mutable std::string m_text;
    mutable std::vector<std::size_t> m_ends;
    mutable bool m_packed = false;
};

namespace lynEDIFromACH {
// Records the component on the EDI palette page.
void Register();
}

} // namespace pelldrake::edi
