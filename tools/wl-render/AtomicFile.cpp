#include "AtomicFile.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace waterline::render {

namespace {

std::string systemError(const std::string& what)
{
    return what + ": " + std::strerror(errno);
}

bool writeAll(int fd, std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

std::string writeFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> bytes)
{
    auto directory = target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    std::string hiddenName(".");
    hiddenName += target.filename().string();
    hiddenName += ".XXXXXX";
    std::string temporary = (directory / hiddenName).string();
    int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return systemError(target.string());
    // mkstemp makes the file 0600; an output picture is an ordinary file.
    mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    bool written = writeAll(fd, bytes);
    std::string error = written ? std::string() : systemError(target.string());
    if (::close(fd) != 0 && error.empty())
        error = systemError(target.string());
    if (error.empty() && ::rename(temporary.c_str(), target.c_str()) != 0)
        error = systemError(target.string());
    if (!error.empty())
        ::unlink(temporary.c_str());
    return error;
}

} // namespace waterline::render
