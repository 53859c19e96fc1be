// Loads arbitrary bytes as a group file and walks every transaction set with
// the navigation and element operations.
#include "edi/recv_translate_to.h"
#include "edi/segment_list.h"
#include "scratch_dir.h"

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const fuzzing::ScratchDir scratch("edi-load");
    const fs::path &work = scratch.path();
    const fs::path file = work / "group.edi";
    fuzzing::writeInput(file, data, size);
    pelldrake::edi::TlynEDIRecvTranslateTo r;
    try {
        r.loadEDIData(file.string());
    } catch (const std::out_of_range &) {
        return 0; // fewer than three separator lines
    }
    // Take the element separator from the file's own separator line.
    r.elementSeparator.assign(1, '*');
    try {
        const int code = pelldrake::edi::toInt(r.value(1, 1));
        if (code >= -128 && code <= 127 && code != 0)
            r.elementSeparator.assign(1, static_cast<char>(code));
    } catch (const std::invalid_argument &) {
    }
    for (int i = 0; i <= 16; ++i) {
        r.getISASegElement(i);
        r.getGSSegElement(i);
        r.getGESegElement(i);
        r.getIEASegElement(i);
        r.getSTSegElement(i);
        r.getSESegElement(i);
    }
    const int sets = r.transactionSetCount < 64 ? r.transactionSetCount : 64;
    for (int n = 0; n <= sets + 1; ++n) {
        r.loadDocument(n);
        for (int i = 0; i < r.segmentCount; ++i) {
            r.setSegmentIndex(i);
            const std::string name = r.getSegmentName(i);
            for (int e = 0; e <= r.elementCount; ++e)
                r.getElementValue(e);
            r.lookupElementValue(name, 1, 1, r.getElementValue(1));
        }
        r.nextSegment();
        r.setSegmentIndex(r.segmentCount);
        try {
            r.getElementValue(0);
            if (r.segmentIndex >= static_cast<int>(r.segmentList.size()))
                std::abort(); // read past the list without an error
        } catch (const pelldrake::edi::SegmentIndexError &) {
        }
        while (r.segmentCount > 0 && !r.segmentList.empty() && r.segmentIndex > 0) {
            r.prevSegment();
            try {
                r.deleteSegment();
            } catch (const pelldrake::edi::SegmentIndexError &) {
            }
        }
    }
    return 0;
}
