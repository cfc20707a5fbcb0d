// Gzip compression and decompression of request and response bodies, in memory and
// from file to file. The codec keeps no state besides one process-wide limit, so any
// thread may call any operation at any time.
//
// Compression always writes the gzip format (zlib's default level); decompression
// takes gzip or zlib framing alike. Empty input comes back unchanged from the
// in-memory operations, not wrapped in a frame.
//
// The file operations return zlib's codes (see the constants below), so a caller can
// tell a missing folder from a corrupt download:
//
//     auto bytes = GzipCodec::uncompressZippedData(body);          // none: not gzip
//     int result = GzipCodec::uncompressZippedDataFromFile(download, destination);
//     if (result != GzipCodec::kSuccess) ...
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace waterline {

class GzipCodec {
public:
    using Bytes = std::span<const std::uint8_t>;
    using Data = std::vector<std::uint8_t>;

    // Results of the file operations. Any other value is the status of a zlib
    // initialisation that failed.
    static constexpr int kSuccess = 0;
    static constexpr int kCannotCreateDestination = 1; // decompression only
    static constexpr int kFileError = -1;              // a read or write failed, or a file would not open
    static constexpr int kCorruptInput = -3;           // corrupt, truncated, or needs a preset dictionary
    static constexpr int kOutOfMemory = -4;

    // The default maximumInflatedSize().
    static constexpr std::size_t kDefaultMaximumInflatedSize = std::size_t{1} << 30;

    GzipCodec() = delete;

    // The decompressed bytes, or none when `data` is not complete gzip or zlib data,
    // or when its content would be larger than maximumInflatedSize().
    static std::optional<Data> uncompressZippedData(Bytes data);
    // Decompresses the file `source` into a new file `destination` (replacing one that
    // exists). A truncated source leaves its readable part in `destination`.
    static int uncompressZippedDataFromFile(const std::filesystem::path& source,
                                            const std::filesystem::path& destination);
    // Decompresses from `in` to `out` in 16 KiB pieces until the gzip stream ends.
    static int uncompressZippedDataFromSource(std::FILE* in, std::FILE* out);

    // The gzip-compressed bytes, or none when zlib fails.
    static std::optional<Data> compressData(Bytes data);
    static int compressDataFromFile(const std::filesystem::path& source, const std::filesystem::path& destination);
    static int compressDataFromSource(std::FILE* in, std::FILE* out);

    // The most bytes uncompressZippedData() produces: a small body that claims to hold
    // gigabytes fails instead of taking the process's memory.
    static void setMaximumInflatedSize(std::size_t bytes);
    static std::size_t maximumInflatedSize();
};

} // namespace waterline
