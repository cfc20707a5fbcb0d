// The owned file descriptor.
#include <waterline/foundation/FileDescriptor.h>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace waterline {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = other.release();
    }
    return *this;
}

FileDescriptor::~FileDescriptor()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

ErrorOr<FileDescriptor> FileDescriptor::open(const std::filesystem::path& path, int flags, int mode)
{
    int fd;
    do
        fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Error::fromErrno(errno, path.string() + ": " + errnoText(errno));
    return FileDescriptor(fd);
}

int FileDescriptor::release()
{
    int fd = m_fd;
    m_fd = -1;
    return fd;
}

ErrorOr<void> FileDescriptor::close()
{
    if (m_fd < 0)
        return {};
    // Linux releases the descriptor even when close reports an error, so never retry.
    int result = ::close(release());
    if (result != 0 && errno != EINTR)
        return Error::fromErrno(errno);
    return {};
}

} // namespace waterline
