// Whole-buffer reads and writes and atomic file replacement.
#include <waterline/foundation/AtomicFile.h>
#include <waterline/foundation/FileDescriptor.h>
#include <waterline/foundation/FileIO.h>

#include <cerrno>
#include <climits>
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

std::span<const std::uint8_t> asBytes(std::string_view text)
{
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

} // namespace

ErrorOr<std::size_t> readFull(int fd, std::span<std::uint8_t> buffer)
{
    std::size_t filled = 0;
    while (filled < buffer.size()) {
        ssize_t n = ::read(fd, buffer.data() + filled, buffer.size() - filled);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Error::fromErrno(errno);
        }
        filled += static_cast<std::size_t>(n);
    }
    return filled;
}

ErrorOr<void> writeAll(int fd, std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Error::fromErrno(errno);
        }
        if (n == 0)
            return Error::fromErrno(EIO);
        bytes = bytes.subspan(static_cast<std::size_t>(n));
    }
    return {};
}

ErrorOr<void> writeAll(int fd, std::string_view bytes)
{
    return writeAll(fd, asBytes(bytes));
}

ErrorOr<std::vector<std::uint8_t>> readFile(const std::filesystem::path& path, ReadFileOptions options)
{
    auto file = FileDescriptor::open(path, O_RDONLY);
    if (!file)
        return file.releaseError();
    struct stat status {};
    if (::fstat(file->get(), &status) != 0)
        return pathError(path, errno);
    if (S_ISDIR(status.st_mode))
        return pathError(path, EISDIR);
    if (S_ISREG(status.st_mode) && static_cast<std::uint64_t>(status.st_size) > options.maxBytes)
        return pathError(path, EFBIG);

    std::vector<std::uint8_t> contents;
    if (S_ISREG(status.st_mode))
        contents.reserve(static_cast<std::size_t>(status.st_size));
    constexpr std::size_t kChunk = 64 * 1024;
    for (;;) {
        std::size_t used = contents.size();
        // Read one byte past the limit, so that reaching it exactly is not an error.
        std::uint64_t room = options.maxBytes + 1 - used;
        contents.resize(used + static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, room)));
        auto n = readFull(file->get(), std::span(contents).subspan(used));
        if (!n)
            return pathError(path, static_cast<int>(n.error()->code()));
        contents.resize(used + *n);
        if (contents.size() > options.maxBytes)
            return pathError(path, EFBIG);
        if (*n == 0 || contents.size() < used + std::min<std::uint64_t>(kChunk, room))
            break;
    }
    contents.shrink_to_fit();
    return contents;
}

std::string temporarySiblingPrefix(const std::filesystem::path& target)
{
    // "." + name + ".XXXXXX" must fit in NAME_MAX; shorten the name part when it would not.
    constexpr std::size_t kSuffix = 7;
    std::string name = target.filename().string();
    std::size_t room = NAME_MAX - 1 - kSuffix;
    if (name.size() > room) {
        name.resize(room);
        // Do not leave half of a UTF-8 character behind.
        while (!name.empty() && (static_cast<unsigned char>(name.back()) & 0xC0) == 0x80)
            name.pop_back();
        if (!name.empty() && (static_cast<unsigned char>(name.back()) & 0x80))
            name.pop_back();
    }
    return "." + name;
}

ErrorOr<void> writeFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> bytes,
                                  AtomicWriteOptions options)
{
    auto file = WL_TRY(AtomicFile::create(target, options));
    WL_TRY(file.write(bytes));
    return file.commit();
}

ErrorOr<void> writeFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                                  AtomicWriteOptions options)
{
    return writeFileAtomically(target, asBytes(bytes), options);
}

} // namespace waterline
