// ACH extraction on arbitrary bytes, through files in a private scratch
// directory: the pieces written are exactly the cut addenda lines, with no
// line ends.
#include "edi/from_ach.h"
#include "scratch_dir.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const fuzzing::ScratchDir dir("ach");
    const std::string inName = (dir.path() / "input.ach").string();
    const std::string outName = (dir.path() / "output.edi").string();
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    fuzzing::writeInput(inName, data, size);
    pelldrake::edi::TlynEDIFromACH ach;
    ach.loadACHFile(inName);
    if (ach.lines() != pelldrake::edi::TlynEDIFromACH::splitRecords(bytes))
        std::abort();
    std::string expected;
    for (const auto &line : ach.lines())
        if (!line.empty() && line[0] == '7' && line.size() > 14)
            expected += line.substr(3, line.size() - 14);
    ach.extractEDI();
    ach.saveEDIData(outName);
    std::ifstream in(outName, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (written != expected)
        std::abort();
    return 0;
}
