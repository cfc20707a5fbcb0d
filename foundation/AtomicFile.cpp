#include <waterline/foundation/AtomicFile.h>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace waterline {

namespace {

ErrorPtr pathError(const std::filesystem::path& path, int errnum)
{
    return Error::fromErrno(errnum, path.string() + ": " + errnoText(errnum));
}

std::filesystem::path folderOf(const std::filesystem::path& target)
{
    return target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
}

// Flushes a folder so that a rename inside it survives a crash; best effort, since
// some file systems cannot sync a directory.
void syncFolder(const std::filesystem::path& folder)
{
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

ErrorOr<AtomicFile> AtomicFile::create(const std::filesystem::path& target, AtomicWriteOptions options)
{
    std::string temporary = (folderOf(target) / (temporarySiblingPrefix(target) + ".XXXXXX")).string();
    FileDescriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!file)
        return pathError(target, errno);
    // mkstemp makes the file 0600; give it the permissions asked for, less the umask.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(file.get(), static_cast<mode_t>(options.permissions) & ~mask);
    return AtomicFile(target, std::move(temporary), std::move(file), options);
}

AtomicFile::AtomicFile(std::filesystem::path target, std::string temporary, FileDescriptor file,
                       AtomicWriteOptions options)
    : m_target(std::move(target))
    , m_temporary(std::move(temporary))
    , m_file(std::move(file))
    , m_options(options)
{
}

AtomicFile::AtomicFile(AtomicFile&& other) noexcept
    : m_target(std::move(other.m_target))
    , m_temporary(std::exchange(other.m_temporary, {}))
    , m_file(std::move(other.m_file))
    , m_options(other.m_options)
    , m_size(other.m_size)
{
}

AtomicFile::~AtomicFile()
{
    discard();
}

void AtomicFile::discard()
{
    if (m_temporary.empty())
        return;
    ::unlink(m_temporary.c_str());
    m_temporary.clear();
    (void)m_file.close();
}

ErrorOr<void> AtomicFile::write(std::span<const std::uint8_t> bytes)
{
    if (m_temporary.empty())
        return pathError(m_target, EBADF);
    if (auto written = writeAll(m_file.get(), bytes); !written)
        return pathError(m_target, written.error()->code());
    m_size += bytes.size();
    return {};
}

ErrorOr<void> AtomicFile::writeAt(std::uint64_t offset, std::span<const std::uint8_t> bytes)
{
    if (m_temporary.empty() || offset + bytes.size() > m_size)
        return pathError(m_target, m_temporary.empty() ? EBADF : EINVAL);
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t n = ::pwrite(m_file.get(), bytes.data() + done, bytes.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return pathError(m_target, n < 0 ? errno : EIO);
        done += static_cast<std::size_t>(n);
    }
    return {};
}

ErrorOr<void> AtomicFile::commit()
{
    if (m_temporary.empty())
        return pathError(m_target, EBADF);
    auto fail = [&](int errnum) -> ErrorOr<void> {
        discard();
        return pathError(m_target, errnum);
    };
    if (m_options.durable && ::fsync(m_file.get()) != 0)
        return fail(errno);
    if (auto closed = m_file.close(); !closed)
        return fail(closed.error()->code());
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        return fail(errno);
    m_temporary.clear();
    if (m_options.durable)
        syncFolder(folderOf(m_target));
    return {};
}

} // namespace waterline
