// Splits arbitrary bytes as an interchange file, in a fresh working directory
// per input below the process's scratch directory, and checks that nothing was
// written outside it.
#include "edi/interchange_splitter.h"
#include "edi/recv_translate_to.h"
#include "scratch_dir.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

std::set<std::string> listing(const fs::path &dir)
{
    std::set<std::string> out;
    for (const auto &e : fs::directory_iterator(dir))
        out.insert(e.path().filename().string());
    return out;
}

[[noreturn]] void fail(const std::string &why)
{
    std::fprintf(stderr, "edi_split: %s\n", why.c_str());
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static unsigned counter = 0;
    static const fuzzing::ScratchDir scratch("edi-split");
    const fs::path &home = scratch.path();
    const fs::path work = home / ("edi-split-run-" + std::to_string(++counter));
    fs::remove_all(work);
    fs::create_directories(work / "in");
    const auto before = listing(home);
    fuzzing::writeInput(work / "in" / "input.x12", data, size);
    {
        const fuzzing::CurrentDir inWork(work);
        pelldrake::edi::TlynEDIRecvTranslateTo reader;
        reader.ediDirectory = (work / "in").string();
        try {
            reader.parseEDIData();
        } catch (const pelldrake::edi::FileError &) {
            // A group file that cannot be created is reported to the caller.
        }
    }

    if (listing(home) != before)
        fail("an entry appeared beside the working directory");
    // Below it: the input folder, the work file and partner directories that
    // hold group files only.
    for (const auto &e : fs::directory_iterator(work)) {
        const std::string name = e.path().filename().string();
        if (name == "in" || name == "lynEDI.dat" || name == "lynEDI.lock")
            continue;
        if (!e.is_directory() || e.is_symlink())
            fail("unexpected entry " + name);
        for (const auto &g : fs::directory_iterator(e.path()))
            if (!g.is_regular_file() || g.path().extension() != ".edi" || g.path().stem().string().size() != 17)
                fail("unexpected file " + g.path().string());
    }
    fs::remove_all(work);
    return 0;
}
