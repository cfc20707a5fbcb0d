#include "FileSnapshot.h"

#include "ToolError.h"

#include <cerrno>
#include <sys/stat.h>

namespace waterline {

ErrorOr<FileSnapshot> FileSnapshot::take(int fd)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return ioError("read error", Error::fromErrno(errno));
    return FileSnapshot(info.st_size, info.st_mtim);
}

ErrorOr<void> FileSnapshot::checkUnchanged(int fd) const
{
    const auto now = WL_TRY(take(fd));
    if (now.m_size != m_size || now.m_modified.tv_sec != m_modified.tv_sec
        || now.m_modified.tv_nsec != m_modified.tv_nsec)
        return toolError("input file changed while reading");
    return {};
}

} // namespace waterline
