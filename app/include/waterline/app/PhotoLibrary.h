// The user's photo library: the pictures folder of the desktop (XDG_PICTURES_DIR, from
// the environment or user-dirs.dirs, else ~/Pictures). The library lists the JPEG and
// PNG files directly inside it, newest first; the album that Save writes to is the
// "Waterline" folder inside it.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace waterline {

class PhotoLibrary {
public:
    // The desktop's pictures folder; the folder need not exist.
    static std::filesystem::path defaultPicturesDirectory();

    explicit PhotoLibrary(std::filesystem::path picturesDirectory);

    const std::filesystem::path& picturesDirectory() const { return m_picturesDirectory; }
    std::filesystem::path albumDirectory() const { return m_picturesDirectory / "Waterline"; }

    // False when the folder is missing or cannot be read: there is no library to pick from.
    bool isAvailable() const;

    // The photos, newest first (by modification time, then by name); empty on failure.
    std::vector<std::filesystem::path> photos() const;

private:
    std::filesystem::path m_picturesDirectory;
};

} // namespace waterline
