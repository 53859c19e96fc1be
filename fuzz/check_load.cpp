// Loading arbitrary bytes as a parsed file into the checker, then walking
// every transaction set with the envelope getters, navigation and checks. The
// only errors allowed out are the documented conversion and index errors.
#include "control_checks.h"
#include "edi/edi_check.h"
#include "scratch_dir.h"

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const fuzzing::ScratchDir dir("load");
    const fuzzing::CurrentDir inDir(dir.path());
    fuzzing::writeInput("group.edi", data, size);
    pelldrake::edi::TlynEDICheck check;
    check.elementSeparator = size ? std::string(1, static_cast<char>(data[0] % 4 == 0 ? '|' : '*')) : "*";
    try {
        check.loadEDIData("group.edi", nullptr);
    } catch (const std::out_of_range &) {
        return 0;   // fewer than three lines
    }
    check.getSegmentTerminator();
    for (int n = 0; n <= check.transactionSetCount + 1; ++n) {
        check.documentNumber = n;
        check.loadDocument();
        check.getISASegElement(6);
        check.getGSSegElement(8);
        check.getSTSegElement(1);
        check.getSESegElement(2);
        fuzzing::runControlChecks(check);
        for (int i = 0; i < check.segmentCount; ++i) {
            check.getSegmentName(i);
            check.setSegmentIndex(i);
            check.getElementValue(1);
        }
        check.lookupElementValue("REF", 2, 1, "PO");
    }
    return 0;
}
