// An owned file descriptor: closed when the owner goes, movable, never copied. Code
// that keeps a descriptor for longer than one function holds it in one of these.
//
//     auto file = WL_TRY(FileDescriptor::open(path, O_RDONLY));
//     auto header = WL_TRY(readFull(file.get(), buffer));
//     int raw = file.release();   // hand the descriptor to an owner that closes it
#pragma once

#include <waterline/foundation/ErrorOr.h>

#include <filesystem>

namespace waterline {

class FileDescriptor {
public:
    FileDescriptor() = default;
    explicit FileDescriptor(int fd)
        : m_fd(fd)
    {
    }
    FileDescriptor(FileDescriptor&& other) noexcept
        : m_fd(other.release())
    {
    }
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();

    // open(2) with O_CLOEXEC added; the error names the path and the system's reason.
    static ErrorOr<FileDescriptor> open(const std::filesystem::path& path, int flags, int mode = 0666);

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    explicit operator bool() const { return valid(); }

    // Gives up ownership: the caller closes the returned descriptor.
    [[nodiscard]] int release();
    // Closes now (a no-op when empty), reporting what close(2) said.
    ErrorOr<void> close();

private:
    int m_fd = -1;
};

} // namespace waterline
