// Runs a fuzz target once on every file of the given directories (or files),
// so saved corpora replay as ordinary tests without libFuzzer. Each run works in
// a fresh temporary directory of its own, as under scripts/fuzz.sh, so targets
// that write files cannot see each other when ctest runs them in parallel.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

namespace fs = std::filesystem;

static void runFile(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
}

int main(int argc, char **argv)
{
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i)
        inputs.push_back(fs::absolute(argv[i]));

    const fs::path work = fs::temp_directory_path()
        / ("pelldrake-replay-" + std::to_string(std::random_device{}()));
    fs::create_directories(work);
    const fs::path home = fs::current_path();
    fs::current_path(work);

    int count = 0;
    for (const fs::path &arg : inputs) {
        if (fs::is_directory(arg)) {
            for (const auto &entry : fs::recursive_directory_iterator(arg)) {
                if (entry.is_regular_file()) {
                    runFile(entry.path());
                    ++count;
                }
            }
        } else if (fs::is_regular_file(arg)) {
            runFile(arg);
            ++count;
        }
    }
    fs::current_path(home);
    std::error_code ec;
    fs::remove_all(work, ec);
    std::printf("replayed %d inputs\n", count);
    return 0;
}
