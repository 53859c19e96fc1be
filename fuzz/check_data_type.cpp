// validateDataType on arbitrary values and codes: never crashes, and its
// numeric answer agrees with a plain character check.
#include "edi/data_type.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view all(reinterpret_cast<const char *>(data), size);
    // The first byte says how long the type code is; the rest is the value.
    const size_t codeLen = size ? data[0] % 4 : 0;
    const std::string_view rest = size ? all.substr(1) : all;
    const std::string_view code = rest.substr(0, codeLen < rest.size() ? codeLen : rest.size());
    const std::string_view value = rest.substr(code.size());

    using pelldrake::edi::validateDataType;
    validateDataType(value, code);
    for (const char *c : {"AN", "N0", "R", "TM", "DT", "ID"}) {
        const bool ok = validateDataType(value, c);
        if (c[0] == 'A' || c[0] == 'I') {
            if (!ok)
                std::abort();
        } else if (c[0] == 'N' || c[0] == 'R') {
            bool expect = true;
            for (char ch : value)
                expect = expect && ((ch >= '0' && ch <= '9') || ch == '.');
            if (ok != expect)
                std::abort();
        } else if (ok && c[0] == 'D' && value.size() != 6 && value.size() != 8) {
            std::abort();
        }
    }
    return 0;
}
