#include "StagedOutput.h"

#include "ToolError.h"

#include <waterline/foundation/FileIO.h>

#include <cerrno>
#include <cstdlib>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace waterline {

namespace {

// The position where the bytes would land if written now, when the destination is a
// regular file with nothing after that position and may be cut back; else -1. A file
// in append mode is not cut back: what others append meanwhile would go with it.
off_t appendPosition(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || (flags & O_APPEND))
        return -1;
    const off_t position = ::lseek(fd, 0, SEEK_CUR);
    if (position != info.st_size || ::ftruncate(fd, info.st_size) != 0)
        return -1;
    return position;
}

ErrorOr<void> writeTo(int fd, std::span<const std::uint8_t> bytes, const char* what)
{
    if (auto written = writeAll(fd, bytes); !written)
        return ioError(what, written.error());
    return {};
}

} // namespace

StagedOutput::StagedOutput(int destination)
    : m_destination(destination)
{
    m_directStart = appendPosition(destination);
    m_direct = m_directStart >= 0;
}

StagedOutput::~StagedOutput()
{
    if (!m_committed)
        discard();
}

ErrorOr<void> StagedOutput::write(std::span<const std::uint8_t> bytes)
{
    if (m_direct)
        return writeTo(m_destination, bytes, "write error");
    if (!m_spill && m_memory.size() + bytes.size() > kMemoryLimit)
        WL_TRY(spillToTemporaryFile());
    if (m_spill)
        return writeTo(m_spill.get(), bytes, "cannot stage output");
    m_memory.insert(m_memory.end(), bytes.begin(), bytes.end());
    return {};
}

ErrorOr<void> StagedOutput::spillToTemporaryFile()
{
    const char* tmpdir = std::getenv("TMPDIR");
    std::string path = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") + "/wl-base64-XXXXXX";
    FileDescriptor spill(::mkostemp(path.data(), O_CLOEXEC));
    if (!spill)
        return ioError("cannot stage output", Error::fromErrno(errno));
    ::unlink(path.c_str());
    WL_TRY(writeTo(spill.get(), m_memory, "cannot stage output"));
    m_spill = std::move(spill);
    m_memory.clear();
    m_memory.shrink_to_fit();
    return {};
}

ErrorOr<void> StagedOutput::commit()
{
    m_committed = true;
    if (m_direct)
        return {};
    if (m_spill)
        return copyTemporaryFile();
    return writeTo(m_destination, m_memory, "write error");
}

ErrorOr<void> StagedOutput::copyTemporaryFile()
{
    if (::lseek(m_spill.get(), 0, SEEK_SET) != 0)
        return ioError("cannot read staged output", Error::fromErrno(errno));
    std::vector<std::uint8_t> buffer(1u << 20);
    for (;;) {
        auto n = readFull(m_spill.get(), buffer);
        if (!n)
            return ioError("cannot read staged output", n.error());
        if (*n == 0)
            return {};
        WL_TRY(writeTo(m_destination, std::span(buffer).first(*n), "write error"));
    }
}

void StagedOutput::discard()
{
    if (m_direct) {
        if (::ftruncate(m_destination, m_directStart) == 0)
            ::lseek(m_destination, m_directStart, SEEK_SET);
        return;
    }
    m_memory.clear();
    m_spill = FileDescriptor();
}

} // namespace waterline
