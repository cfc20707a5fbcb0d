#include "StagedOutput.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace waterline {

namespace {

// The position where the bytes would land if written now, when the destination is a
// regular file with nothing after that position and may be cut back; else -1.
off_t appendPosition(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0)
        return -1;
    const off_t position = (flags & O_APPEND) ? info.st_size : ::lseek(fd, 0, SEEK_CUR);
    if (position != info.st_size || ::ftruncate(fd, info.st_size) != 0)
        return -1;
    return position;
}

} // namespace

StagedOutput::StagedOutput(int destination)
    : destination_(destination)
{
    directStart_ = appendPosition(destination);
    direct_ = directStart_ >= 0;
}

bool StagedOutput::fail(std::string what)
{
    error_ = what + ": " + std::strerror(errno);
    return false;
}

bool StagedOutput::write(std::span<const std::uint8_t> bytes)
{
    if (direct_)
        return writeAll(destination_, bytes) || fail("write error");
    if (!spill_.valid() && memory_.size() + bytes.size() > kMemoryLimit && !spillToTemporaryFile())
        return false;
    if (spill_.valid())
        return writeAll(spill_.get(), bytes) || fail("cannot stage output");
    memory_.insert(memory_.end(), bytes.begin(), bytes.end());
    return true;
}

bool StagedOutput::spillToTemporaryFile()
{
    const char* tmpdir = std::getenv("TMPDIR");
    std::string path = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/wl-base64-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0)
        return fail("cannot stage output");
    ::unlink(path.c_str());
    spill_ = FileDescriptor(fd);
    if (!writeAll(spill_.get(), memory_))
        return fail("cannot stage output");
    memory_.clear();
    memory_.shrink_to_fit();
    return true;
}

bool StagedOutput::commit()
{
    if (direct_)
        return true;
    if (spill_.valid())
        return copyTemporaryFile();
    return writeAll(destination_, memory_) || fail("write error");
}

bool StagedOutput::copyTemporaryFile()
{
    if (::lseek(spill_.get(), 0, SEEK_SET) != 0)
        return fail("cannot read staged output");
    std::vector<std::uint8_t> buffer(1u << 20);
    for (;;) {
        const auto n = readFull(spill_.get(), buffer);
        if (!n)
            return fail("cannot read staged output");
        if (*n == 0)
            return true;
        if (!writeAll(destination_, std::span(buffer).first(*n)))
            return fail("write error");
    }
}

void StagedOutput::discard()
{
    if (direct_) {
        if (::ftruncate(destination_, directStart_) == 0)
            ::lseek(destination_, directStart_, SEEK_SET);
        return;
    }
    memory_.clear();
    spill_ = FileDescriptor();
}

} // namespace waterline
