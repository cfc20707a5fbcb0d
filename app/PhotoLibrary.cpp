#include <waterline/app/PhotoLibrary.h>

#include <waterline/effect/PictureFile.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>

#include <dirent.h>
#include <unistd.h>

namespace waterline {

namespace {

std::filesystem::path homeDirectory()
{
    const char* home = std::getenv("HOME");
    return home && *home ? std::filesystem::path(home) : std::filesystem::path("/");
}

// XDG_PICTURES_DIR="$HOME/Pictures" in $XDG_CONFIG_HOME/user-dirs.dirs.
std::optional<std::filesystem::path> picturesDirectoryFromUserDirs()
{
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    std::filesystem::path config
        = configHome && *configHome ? std::filesystem::path(configHome) : homeDirectory() / ".config";
    std::ifstream file(config / "user-dirs.dirs");
    std::string line;
    constexpr std::string_view kKey = "XDG_PICTURES_DIR=\"";
    while (std::getline(file, line)) {
        if (!line.starts_with(kKey) || line.back() != '"')
            continue;
        std::string value = line.substr(kKey.size(), line.size() - kKey.size() - 1);
        if (value.starts_with("$HOME"))
            return homeDirectory() / std::filesystem::path(value.substr(5)).relative_path();
        if (value.starts_with("/"))
            return std::filesystem::path(value);
    }
    return std::nullopt;
}

} // namespace

std::filesystem::path PhotoLibrary::defaultPicturesDirectory()
{
    if (const char* fromEnvironment = std::getenv("XDG_PICTURES_DIR"); fromEnvironment && *fromEnvironment)
        return fromEnvironment;
    if (auto fromUserDirs = picturesDirectoryFromUserDirs())
        return *fromUserDirs;
    return homeDirectory() / "Pictures";
}

PhotoLibrary::PhotoLibrary(std::filesystem::path picturesDirectory)
    : m_picturesDirectory(std::move(picturesDirectory))
{
}

bool PhotoLibrary::isAvailable() const
{
    // Opening the folder is the honest test: it fails for a missing folder, a file, and
    // a folder we may not read.
    DIR* directory = opendir(m_picturesDirectory.c_str());
    if (!directory)
        return false;
    closedir(directory);
    return true;
}

std::vector<std::filesystem::path> PhotoLibrary::photos() const
{
    struct Entry {
        std::filesystem::file_time_type modified;
        std::filesystem::path path;
    };
    std::vector<Entry> entries;
    std::error_code error;
    for (std::filesystem::directory_iterator it(m_picturesDirectory, error), end; !error && it != end;
         it.increment(error)) {
        if (!it->is_regular_file(error) || !PictureFile::typeForExtension(it->path()))
            continue;
        auto modified = it->last_write_time(error);
        if (error) {
            error.clear();
            continue;
        }
        entries.push_back({modified, it->path()});
    }
    std::sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        return a.modified != b.modified ? a.modified > b.modified : a.path < b.path;
    });
    std::vector<std::filesystem::path> photos;
    photos.reserve(entries.size());
    for (auto& entry : entries)
        photos.push_back(std::move(entry.path));
    return photos;
}

} // namespace waterline
