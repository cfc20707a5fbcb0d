// A source of bytes read from the front, such as a request body: a buffer in memory
// or a file on disk. The connection pulls the body through one of these, so a body
// file is streamed and never held in memory whole.
//
//     auto body = InputStream::fromFile(bodyPath);
//     if (!body) return body.error();
//     auto count = (*body)->read(buffer);   // 0 at the end
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/FileDescriptor.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

namespace waterline {

class InputStream {
public:
    virtual ~InputStream() = default;

    // Up to buffer.size() bytes; 0 once the stream has ended.
    virtual ErrorOr<std::size_t> read(std::span<std::uint8_t> buffer) = 0;
    // False while the stream may not be read yet (a throttled body whose allowance is
    // spent); the reader waits and asks again rather than reading.
    virtual bool hasBytesAvailable() { return true; }
    virtual void close() {}

    // Reads the shared bytes without copying them.
    static std::unique_ptr<InputStream> fromBytes(std::shared_ptr<const std::vector<std::uint8_t>> bytes);
    static ErrorOr<std::unique_ptr<InputStream>> fromFile(const std::filesystem::path& path);
};

} // namespace waterline
