#include <waterline/effect/Picture.h>
#include <waterline/effect/PictureFile.h>
#include <waterline/foundation/ProgramInfo.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <string>

#ifndef WATERLINE_RESOURCES_DIR
#define WATERLINE_RESOURCES_DIR "resources"
#endif

namespace waterline {

Picture::Picture(std::shared_ptr<const PixelBuffer> raster, PictureOrientation orientation)
    : m_raster(std::move(raster))
    , m_orientation(orientation)
{
}

std::shared_ptr<Picture> Picture::create(std::shared_ptr<const PixelBuffer> raster, PictureOrientation orientation)
{
    if (!raster)
        return nullptr;
    return std::shared_ptr<Picture>(new Picture(std::move(raster), orientation));
}

SizeF Picture::size() const
{
    auto width = static_cast<double>(m_raster->width());
    auto height = static_cast<double>(m_raster->height());
    if (swapsSides(m_orientation))
        return {height, width};
    return {width, height};
}

std::filesystem::path Picture::resourceDirectory()
{
    if (const char* overridden = std::getenv("WATERLINE_RESOURCES"); overridden && *overridden)
        return overridden;
    // An installed program keeps its pictures in ../share/waterline beside its bin/
    // folder, wherever the tree was moved; a program in the build tree has no such
    // folder and uses the build's resources.
    if (auto installed = installedDataDirectory("waterline"))
        return *installed;
    return WATERLINE_RESOURCES_DIR;
}

std::shared_ptr<Picture> Picture::named(std::string_view name)
{
    // Resources never change while the program runs, so each is decoded once. The
    // directory is part of the key because tests point WATERLINE_RESOURCES elsewhere.
    static std::mutex lock;
    static std::map<std::string, std::shared_ptr<Picture>> cache;

    auto path = resourceDirectory() / std::filesystem::path(name);
    std::lock_guard guard(lock);
    if (auto found = cache.find(path.string()); found != cache.end())
        return found->second;
    auto result = PictureFile::read(path);
    if (!result) {
        std::fprintf(stderr, "picture resource %s: %s\n", path.c_str(), result.error()->localizedDescription().c_str());
        return nullptr;
    }
    cache.emplace(path.string(), *result);
    return *result;
}

} // namespace waterline
