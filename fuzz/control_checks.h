#pragma once
// Runs both control checks of the checker on its current transaction set. Only
// the errors the checker documents may come out: the conversion error of a
// missing or non-numeric SE01, and the index error of a record longer than its
// segment list; anything else reaches the fuzzer.
#include "edi/edi_check.h"

#include <stdexcept>

namespace fuzzing {

inline void runControlChecks(pelldrake::edi::TlynEDICheck &check)
{
    try {
        check.checkSegmentCount();
    } catch (const std::invalid_argument &) {
    }
    try {
        check.checkSTCtrlNumbers();
    } catch (const std::out_of_range &) {
    }
}

} // namespace fuzzing
