// Replays fuzz inputs without libFuzzer: every regular file in the folders (or
// files) named on the command line goes through the target once. A finding
// aborts with the file's name printed first; success ends with a count line.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#include "fuzz_target.h"

namespace fs = std::filesystem;

namespace {

bool replay(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.string().c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::fprintf(stderr, "%s\n", file.string().c_str());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    int replayed = 0;
    int failed = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        const fs::path root(argv[i]);
        if (fs::is_regular_file(root, error)) {
            replay(root) ? ++replayed : ++failed;
            continue;
        }
        if (!fs::is_directory(root, error)) {
            continue;  // a target with no saved crashers yet
        }
        std::vector<fs::path> files;
        for (const auto& entry : fs::recursive_directory_iterator(root, error)) {
            if (entry.is_regular_file()) {
                files.push_back(entry.path());
            }
        }
        for (const fs::path& file : files) {
            replay(file) ? ++replayed : ++failed;
        }
    }
    std::printf("%d passed, %d failed\n", replayed, failed);
    return failed == 0 && replayed > 0 ? 0 : 1;
}
