#pragma once
// The interchange checker: splits a raw X12 interchange into its parsed
// directory, loads one parsed file (one functional group) as a segment store,
// selects a transaction set by number, and checks segment counts, control
// numbers and element data types.
//
// Usual order: set ediFileName; parseEDIData; loadParsedFiles into a list; for
// each file loadEDIData (optionally with a Progress), then checkSegmentCount,
// checkSTCtrlNumbers (each a CheckResult) and element reads with
// validateDataType.
//
// The segment store (a ClientDataSet with the fields "Type" and "Data") holds
// SEGTERM, ELESEP and SUBELESEP records, then one record per envelope line:
// ISA, GS, IEA, GE, or ST with every line of its transaction set (SE included)
// joined by line feeds. The segment list, its cursor and the element
// operations are the reader's (SegmentList). Where the checker differs:
// - the ISA, IEA, GS and GE getters read the current record when it has that
//   type and otherwise the first record of it; the ST and SE getters read only
//   the current record (its first and last line);
// - loadEDIData reports progress, counts transaction sets and selects the
//   first one; loadDocument uses documentNumber and finds its set through an
//   index of the ST records (rebuilt when the store changes).
// The operations on the parsed directory and the store hold the working
// directory's lock (lynEDICheck.lock beside parsedDir) while they run, so two
// processes never share them: the second gets WorkLockedError at once. A
// caller that runs several operations as one (split, then load every group)
// holds lockWorkDir() across them.
// parseEDIData also removes what a killed run left in the working directory:
// the store's temporary files (lynEDICheck.cds.tmp<digits>) and unfinished
// parsed sets (parsedDir.tmp<digits>, see edi/parsed_dir.h).
// A line opens a record only when its whole tag is an envelope tag (the rule
// the reader uses too): a status segment STC stays inside its transaction set
// instead of splitting it and spoiling its segment count.
// Errors of missing data are answered with empty text; a parsed file of fewer
// than three lines and the conversion and index errors of the control checks
// reach the caller as std::out_of_range / std::invalid_argument.
#include "dataset/client_dataset.h"
#include "edi/check_result.h"
#include "edi/progress.h"
#include "edi/segment_list.h"
#include "edi/st_index.h"
#include "edi/work_lock.h"

#include <cstdint>
#include <string>
#include <vector>

namespace pelldrake::edi {

class TlynEDICheck : public ClientDataSet, public SegmentList {
public:
    std::int32_t transactionSetCount = 0;
    std::int32_t documentNumber = 0;   // 1-based; set by the caller, loadEDIData sets 1
    std::string transactionSetID;      // ST01 of the set selected by loadEDIData
    std::string versionCode;           // GS08 of the first group
    std::string ediFileName;           // raw interchange for parseEDIData
    std::string parsedDirPath;         // <current directory>/parsedDir
    std::string lastError;             // why the last parseEDIData returned false

    // Creates parsedDir and an empty "lynEDICheck.cds" in the current
    // directory when they are missing.
    TlynEDICheck();

    void loadEDIData(const std::string &fileName, Progress *progress = nullptr);
    void loadDocument();
    std::string getSegmentTerminator();

    std::string getISASegElement(int index);
    std::string getIEASegElement(int index);
    std::string getGSSegElement(int index);
    std::string getGESegElement(int index);
    std::string getSTSegElement(int index);
    std::string getSESegElement(int index);

    void loadEDIFileList(const std::string &directory, std::vector<std::string> &list);

    bool validateDataType(const std::string &value, const std::string &typeCode) const;

    // The control checks of the current transaction set.
    CheckResult checkSegmentCount();
    CheckResult checkSTCtrlNumbers();

    bool parseEDIData();
    void loadParsedFiles(std::vector<std::string> &list);
    void cleanParsedDir();

    static constexpr const char *kStoreFileName = "lynEDICheck.cds";
    // Beside the parsed directory: held while an operation empties, fills or
    // lists the parsed directory or writes the store (see WorkLock).
    static constexpr const char *kLockFileName = "lynEDICheck.lock";

    // Holds the checker's working directory; a second process gets
    // WorkLockedError. Hold one across a whole run of operations.
    WorkLock lockWorkDir() const;

private:
    StRecordIndex m_stRecords;
    std::string envelopeElement(const char *type, int index);
    const std::string &currentType() const;
    const std::string &currentData() const;
};

namespace lynEDICheck {
// Records the checker on the EDI palette page.
void Register();
}

} // namespace pelldrake::edi
