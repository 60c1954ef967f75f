// Running code in a child process under a resource limit, where running out
// must be reported rather than crash. POSIX only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#if !defined(_WIN32)
#define PIXMORA_HAVE_CHILD_LIMITS 1
// AddressSanitizer's shadow memory needs a vast address space.
#if !defined(__SANITIZE_ADDRESS__)
#define PIXMORA_HAVE_MEMORY_CAP 1
#endif

enum class ChildLimit {
    Memory,    // the address space: what the child already uses plus the bytes given
    FileSize,  // any file it writes; a write past it fails as on a full disk
};

// Runs `body` in a child process under the limit and returns its exit status,
// or -1 when it did not exit by itself (a crash).
int exitStatusUnderLimit(ChildLimit limit, uint64_t bytes, const std::function<int()>& body);

// A file of `bytes` zero bytes that takes no disk space.
bool makeSparseFile(const std::string& path, int64_t bytes);
#endif
