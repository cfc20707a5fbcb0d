#include <waterline/app/SavedPhotoAlbum.h>

#include <waterline/app/AppError.h>
#include <waterline/foundation/FileDescriptor.h>
#include <waterline/foundation/FileIO.h>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace waterline {

namespace {

constexpr int kMaxAttempts = 1000;

ErrorPtr saveFailure(const std::string& doing, ErrorPtr cause)
{
    return appError(AppErrorCode::SaveFailed, doing + ": " + errnoText(cause->code()) + ".", cause);
}

// Writes and flushes the whole photo into a file just created for it.
ErrorOr<void> writeAndClose(FileDescriptor file, std::span<const std::uint8_t> jpeg)
{
    WL_TRY(writeAll(file.get(), jpeg));
    if (::fsync(file.get()) != 0)
        return Error::fromErrno(errno);
    return file.close();
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

ErrorOr<std::filesystem::path> SavedPhotoAlbum::save(std::span<const std::uint8_t> jpeg, std::time_t when) const
{
    std::error_code error;
    std::filesystem::create_directories(m_directory, error);
    if (error)
        return appError(AppErrorCode::SaveFailed,
                        "Cannot create the album folder " + m_directory.string() + ": " + error.message() + ".",
                        Error::fromErrno(error.value()));

    std::string base = baseName(when);
    for (int attempt = 1; attempt <= kMaxAttempts; ++attempt) {
        std::string name = attempt == 1 ? base + ".jpg" : base + " " + std::to_string(attempt) + ".jpg";
        std::filesystem::path path = m_directory / name;
        auto file = FileDescriptor::open(path, O_WRONLY | O_CREAT | O_EXCL, 0644);
        if (!file) {
            if (file.error()->code() == EEXIST)
                continue;
            return saveFailure("Cannot create " + path.string(), file.releaseError());
        }
        if (auto written = writeAndClose(file.releaseValue(), jpeg); !written) {
            ::unlink(path.c_str());
            return saveFailure("Cannot write " + path.string(), written.releaseError());
        }
        return path;
    }
    return appError(AppErrorCode::SaveFailed, "Cannot find a free file name in " + m_directory.string() + ".");
}

} // namespace waterline
