// A fresh folder per test, removed with everything in it afterwards.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

    // Everything below the folder by relative path with '/': each file's bytes,
    // each folder as "<dir>". Compared before and after, it shows any file made,
    // changed or left behind.
    std::map<std::string, std::vector<uint8_t>> contents() const;

private:
    std::string path_;
};
