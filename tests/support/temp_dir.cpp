#include "support/temp_dir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <system_error>

#include "support/raw_builder.h"

namespace fs = std::filesystem;

TempDir::TempDir()
{
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const fs::path dir = fs::temp_directory_path() /
                         ("pixmora-test-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    fs::create_directories(dir);
    path_ = dir.generic_string();
}

TempDir::~TempDir()
{
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::map<std::string, std::vector<uint8_t>> TempDir::contents() const
{
    std::map<std::string, std::vector<uint8_t>> all;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(path_)) {
        all[fs::relative(entry.path(), path_).generic_string()] =
            entry.is_directory() ? std::vector<uint8_t>{'<', 'd', 'i', 'r', '>'} : readFile(entry.path().string());
    }
    return all;
}
