// An owned file descriptor with the read and write loops the tool needs: reads that
// fill a buffer unless the input ends, writes that finish or fail, both resuming
// after signals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace waterline {

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd)
        : fd_(fd)
    {
    }
    FileDescriptor(FileDescriptor&& other) noexcept
        : fd_(other.release())
    {
    }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    ~FileDescriptor();

    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    int release();

private:
    int fd_ = -1;
};

// Reads until `buffer` is full or the input ends; the count read, none on error (errno).
std::optional<std::size_t> readFull(int fd, std::span<std::uint8_t> buffer);

// Writes all of `bytes`; false on error (errno).
bool writeAll(int fd, std::span<const std::uint8_t> bytes);

} // namespace waterline
