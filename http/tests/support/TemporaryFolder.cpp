#include <waterline/testing/TemporaryFolder.h>

#include <waterline/foundation/TemporaryPath.h>

#include <sys/stat.h>

namespace waterline::testing {

ErrorOr<TemporaryFolder> TemporaryFolder::create()
{
    std::filesystem::path path = temporaryFilePath();
    if (::mkdir(path.c_str(), 0755) != 0)
        return Error::fromErrno(errno, "Cannot create the folder " + path.string() + ": " + errnoText(errno));
    // The umask may have taken bits away; a server's unprivileged worker must enter.
    ::chmod(path.c_str(), 0755);
    return TemporaryFolder(std::move(path));
}

TemporaryFolder::TemporaryFolder(TemporaryFolder&& other) noexcept
    : m_path(std::exchange(other.m_path, {}))
{
}

TemporaryFolder& TemporaryFolder::operator=(TemporaryFolder&& other) noexcept
{
    if (this != &other) {
        remove();
        m_path = std::exchange(other.m_path, {});
    }
    return *this;
}

TemporaryFolder::~TemporaryFolder()
{
    remove();
}

void TemporaryFolder::remove()
{
    if (m_path.empty())
        return;
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
    m_path.clear();
}

} // namespace waterline::testing
