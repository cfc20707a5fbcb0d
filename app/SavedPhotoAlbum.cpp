#include <waterline/app/SavedPhotoAlbum.h>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace waterline {

namespace {

constexpr int kMaxAttempts = 1000;

std::string reasonFor(const std::string& doing, int errorNumber)
{
    return doing + ": " + std::strerror(errorNumber) + ".";
}

bool writeAll(int fd, std::span<const std::uint8_t> bytes)
{
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

SavedPhotoAlbum::SavedPhotoAlbum(std::filesystem::path directory)
    : m_directory(std::move(directory))
{
}

std::string SavedPhotoAlbum::baseName(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H.%M.%S", &local);
    return std::string("WaterPhoto ") + stamp;
}

SavedPhoto SavedPhotoAlbum::save(std::span<const std::uint8_t> jpeg, std::time_t when) const
{
    std::error_code error;
    std::filesystem::create_directories(m_directory, error);
    if (error)
        return {{}, "Cannot create the album folder " + m_directory.string() + ": " + error.message() + "."};

    std::string base = baseName(when);
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        std::string name = attempt == 1 ? base + ".jpg" : base + " " + std::to_string(attempt) + ".jpg";
        std::filesystem::path path = m_directory / name;
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return {{}, reasonFor("Cannot create " + path.string(), errno)};
        }
        bool written = writeAll(fd, jpeg) && ::fsync(fd) == 0;
        int writeError = errno;
        if (::close(fd) != 0 && written) {
            written = false;
            writeError = errno;
        }
        if (!written) {
            ::unlink(path.c_str());
            return {{}, reasonFor("Cannot write " + path.string(), writeError)};
        }
        return {path, {}};
    }
    return {{}, "Cannot find a free file name in " + m_directory.string() + "."};
}

} // namespace waterline
