// The saved-photos album: a folder to which composed pictures are written as new files,
// each under a name no other file has. A file is created with O_EXCL, so an existing
// photo is never overwritten, even by another process saving at the same moment; a
// failed write leaves no partial file behind.
#pragma once

#include <ctime>
#include <filesystem>
#include <span>
#include <string>

namespace waterline {

struct SavedPhoto {
    std::filesystem::path path; // empty on failure
    std::string error;          // why it failed: a sentence for the user

    explicit operator bool() const { return error.empty(); }
};

class SavedPhotoAlbum {
public:
    explicit SavedPhotoAlbum(std::filesystem::path directory);

    const std::filesystem::path& directory() const { return m_directory; }

    // Writes the JPEG bytes as "WaterPhoto <date> <time>.jpg", adding " 2", " 3", ...
    // when that name is taken. Creates the folder when it is missing.
    SavedPhoto save(std::span<const std::uint8_t> jpeg, std::time_t when = std::time(nullptr)) const;

    static std::string baseName(std::time_t when);

private:
    std::filesystem::path m_directory;
};

} // namespace waterline
