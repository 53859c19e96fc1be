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

    // A missing or unreadable file leaves the list empty; nothing is reported.
    void loadACHFile(const std::string &fileName);
    void extractEDI();
    // A file that cannot be created is left alone; nothing is reported.
    void saveEDIData(const std::string &fileName) const;
    // saveEDIData that tells whether the whole text reached the file.
    bool trySaveEDIData(const std::string &fileName) const;
    // Throws std::runtime_error naming the file when the source cannot be
    // opened, the destination cannot be created or the copy fails. The
    // destination is truncated first: a longer old file leaves nothing behind.
    static void storeCopyOfACH(const std::string &source, const std::string &destination);

    const std::vector<std::string> &lines() const { return m_lines; }
    std::vector<std::string> &lines() { return m_lines; }
    void clear() { m_lines.clear(); }

    // Splits ACH text into records as loadACHFile does.
    static std::vector<std::string> splitRecords(const std::string &text);

private:
    std::vector<std::string> m_lines;
};

namespace lynEDIFromACH {
// Records the component on the EDI palette page.
void Register();
}

} // namespace pelldrake::edi
