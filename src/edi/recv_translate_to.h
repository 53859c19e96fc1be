// The X12 interchange reader: a segment store (an in-memory table of typed
// records holding one group file), the segment list of one transaction set
// with its navigation (SegmentList), envelope element getters, and the
// splitter that cuts raw interchanges into group files in partner directories.
#pragma once

#include "dataset/client_dataset.h"
#include "edi/segment_list.h"
#include "edi/st_index.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pelldrake::edi {

class TlynEDIRecvTranslateTo : public ClientDataSet, public SegmentList {
public:
    // Name of the work file the splitter cuts each group into.
    static constexpr const char *kWorkFileName = "lynEDI.dat";
    // Held beside the work file while parseEDIData runs (see WorkLock): a
    // second process splitting in the same directory gets WorkLockedError.
    static constexpr const char *kLockFileName = "lynEDI.lock";

    TlynEDIRecvTranslateTo();

    std::int32_t transactionSetCount = 0;
    std::string ediDirectory;
    // Why the last parseEDIData returned false (empty after a success).
    std::string lastError;

    // Replaces the store with the group file fileName. Throws FileError when it
    // cannot be read and std::out_of_range when a separator line is missing.
    void loadEDIData(const std::string &fileName);
    // Loads transaction set documentNumber (from 1) into segmentList.
    void loadDocument(int documentNumber);
    // Full paths of the file entries of directory (no subdirectories).
    void loadEDIFileList(const std::string &directory, std::vector<std::string> &list) const;

    // Elements of the first envelope segments of the store.
    std::string getISASegElement(int index);
    std::string getIEASegElement(int index);
    std::string getGSSegElement(int index);
    std::string getGESegElement(int index);
    std::string getSTSegElement(int index);
    // The SE segment closing the first transaction set.
    std::string getSESegElement(int index);

    // Splits every file of ediDirectory into group files below the current
    // directory. False when there is no input file, one cannot be opened or has
    // no usable ISA header, or could not be read to its end (a read error, a
    // segment longer than kMaxSegmentLength): the group being cut is then
    // dropped, not filed. Throws FileError when a group file cannot be written.
    // The work file is not an input, also when ediDirectory is the current
    // directory.
    bool parseEDIData();

private:
    void ensureOpen();
    const std::string *firstRecordData(const char *kind);
    std::string firstRecordElement(const char *kind, int index);
    bool splitFile(const std::string &path, class TimestampFileNamer &namer);

    // Positions of the ST records, rebuilt when the store has changed, so that
    // walking every transaction set does not rescan the store for each one.
    StRecordIndex stRecords_;
};

namespace lynEDIRecvTranslateTo {
void Register();
}

} // namespace pelldrake::edi
