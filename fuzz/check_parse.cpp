// The checker's split on arbitrary bytes, then loading and checking every
// parsed file. Runs in its own temporary working directory and verifies that
// nothing is written anywhere else in it but the parsed directory and the store.
#include "control_checks.h"
#include "edi/edi_check.h"
#include "scratch_dir.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>

namespace fs = std::filesystem;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const fuzzing::ScratchDir dir("parse");
    const fuzzing::CurrentDir inDir(dir.path());
    fuzzing::writeInput("input.x12", data, size);
    {
        pelldrake::edi::TlynEDICheck check;
        check.ediFileName = "input.x12";
        check.parseEDIData();
        std::vector<std::string> files;
        check.loadParsedFiles(files);
        const fs::path parsed = fs::path(check.parsedDirPath);
        for (const auto &f : files) {
            if (fs::path(f).parent_path() != parsed || !fs::is_regular_file(f))
                std::abort();
            check.loadEDIData(f);
            for (int n = 1; n <= check.transactionSetCount; ++n) {
                check.documentNumber = n;
                check.loadDocument();
                fuzzing::runControlChecks(check);
            }
        }
    }
    std::set<std::string> entries;
    for (const auto &e : fs::directory_iterator(dir.path()))
        entries.insert(e.path().filename().string());
    if (entries != std::set<std::string>{"input.x12", "parsedDir", "lynEDICheck.cds", "lynEDICheck.lock"})
        std::abort();
    return 0;
}
