// Reading and writing whole buffers through file descriptors, and replacing a file so
// that readers see the old contents or the new ones, never a part of either. Every
// loop resumes after signals; errors are POSIX-domain records naming what failed.
//
//     WL_TRY(writeAll(fd, bytes));
//     WL_TRY(writeFileAtomically(settingsPath, json, {.permissions = 0600}));
//     auto picture = WL_TRY(readFile(path, {.maxBytes = 512 << 20}));
#pragma once

#include <waterline/foundation/ErrorOr.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

namespace waterline {

// Reads until `buffer` is full or the input ends; the count read.
ErrorOr<std::size_t> readFull(int fd, std::span<std::uint8_t> buffer);

// Writes all of `bytes` (a short write is continued, never reported as success).
ErrorOr<void> writeAll(int fd, std::span<const std::uint8_t> bytes);
ErrorOr<void> writeAll(int fd, std::string_view bytes);

struct ReadFileOptions {
    // Files (or streams such as /dev/zero) longer than this are refused.
    std::uint64_t maxBytes = 512ull * 1024 * 1024;
};

// The whole contents of `path`: a regular file, a pipe or a device, read to its end
// but never past `maxBytes`. A directory is refused.
ErrorOr<std::vector<std::uint8_t>> readFile(const std::filesystem::path& path, ReadFileOptions options = {});

struct AtomicWriteOptions {
    // The new file's permission bits, before the umask.
    unsigned permissions = 0666;
    // Flush the data and the directory entry to disk before returning.
    bool durable = true;
};

// Writes `bytes` to a temporary file in the target's folder and renames it over
// `target`. On failure the target is untouched and the temporary file is gone.
ErrorOr<void> writeFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> bytes,
                                  AtomicWriteOptions options = {});
ErrorOr<void> writeFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                                  AtomicWriteOptions options = {});

// The name of the temporary file writeFileAtomically uses for `target` before the
// random suffix: hidden, in the same folder, and short enough for the file system
// even when the target's own name is at its limit.
std::string temporarySiblingPrefix(const std::filesystem::path& target);

} // namespace waterline
