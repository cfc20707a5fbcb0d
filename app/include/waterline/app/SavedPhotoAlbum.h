// The saved-photos album: a folder to which composed pictures are written as new files,
// each under a name no other file has. A file is created with O_EXCL, so an existing
// photo is never overwritten, even by another process saving at the same moment; a
// failed write leaves no partial file behind.
#pragma once

#include <waterline/foundation/ErrorOr.h>

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <span>
#include <string>

namespace waterline {

class SavedPhotoAlbum {
public:
    explicit SavedPhotoAlbum(std::filesystem::path directory);

    const std::filesystem::path& directory() const { return m_directory; }

    // Writes the JPEG bytes as "WaterPhoto <date> <time>.jpg", adding " 2", " 3", ...
    // when that name is taken, and returns the new file's path. Creates the folder when
    // it is missing. A failure (AppErrorCode::SaveFailed) says why in a sentence for the
    // user.
    ErrorOr<std::filesystem::path> save(std::span<const std::uint8_t> jpeg,
                                        std::time_t when = std::time(nullptr)) const;

    static std::string baseName(std::time_t when);

private:
    std::filesystem::path m_directory;
};

} // namespace waterline
