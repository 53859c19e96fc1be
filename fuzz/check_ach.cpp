// ACH extraction on arbitrary bytes, through files in a private temporary
// directory: the pieces written are exactly the cut addenda lines, with no
// line ends.
#include "edi/from_ach.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <iterator>
#include <string>

namespace fs = std::filesystem;

namespace {

struct WorkDir {
    fs::path path;
    WorkDir()
    {
        path = fs::temp_directory_path() / ("pelldrake-fuzz-ach-" + std::to_string(std::random_device{}()));
        fs::create_directories(path);
    }
    ~WorkDir()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static WorkDir dir;
    const std::string inName = (dir.path / "input.ach").string();
    const std::string outName = (dir.path / "output.edi").string();
    const std::string bytes(reinterpret_cast<const char *>(data), size);
    {
        std::ofstream out(inName, std::ios::binary | std::ios::trunc);
        out << bytes;
    }
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
