// The checker's control checks: the segment count in SE01 and the control
// numbers in ST02 and SE02, on the current transaction set.
#include "edi/edi_check.h"

namespace pelldrake::edi {

CheckResult TlynEDICheck::checkSegmentCount()
{
    // An SE01 that is missing or no number raises ConversionError, naming it.
    const int declared = toInt(getSESegElement(1));
    const int actual = static_cast<int>(countLines(currentData()));
    if (declared == actual)
        return CheckResult::pass("Segment count is correct " + std::to_string(declared));
    // No blank after the colon in this one text: reports have always read so.
    return CheckResult::fail("ERROR:Segment count is NOT correct SECount=" + std::to_string(declared) + " != " +
                             std::to_string(actual));
}

CheckResult TlynEDICheck::checkSTCtrlNumbers()
{
    const int lines = static_cast<int>(countLines(currentData()));
    if (lines == 0)
        return CheckResult::fail("ERROR: Unknown error");
    // Both reads come from segmentList; a record longer than the list raises
    // SegmentIndexError.
    segmentIndex = 0;
    const std::string st02 = getElementValue(2);
    segmentIndex = lines - 1;
    const std::string se02 = getElementValue(2);
    if (st02 == se02)
        return CheckResult::pass("ST/SE Control Numbers match " + st02);
    return CheckResult::fail("ERROR: ST/SE Control Numbers do NOT match " + st02 + " != " + se02);
}

} // namespace pelldrake::edi
