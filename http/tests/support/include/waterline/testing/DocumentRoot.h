// What the test web servers share: their URLs on loopback and the files of their
// document root, which they serve as soon as they are written.
#pragma once

#include <waterline/foundation/ErrorOr.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace waterline::testing {

// "SCHEME://127.0.0.1:PORT/path"; a missing leading '/' is added.
std::string loopbackURL(std::string_view scheme, std::uint16_t port, std::string_view path);

// Creates `path` and the folders above it that are missing.
ErrorOr<void> createFolders(const std::filesystem::path& path);

// Writes `bytes` to root/relativePath (readable by a server's unprivileged worker),
// creating the folders on the way.
ErrorOr<void> writeServedFile(const std::filesystem::path& root, const std::filesystem::path& relativePath,
                              std::string_view bytes);

} // namespace waterline::testing
