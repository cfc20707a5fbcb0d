// Small pictures and files made for the effect tests.
#pragma once

#include <waterline/effect/PictureFile.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace waterline::test {

// An opaque premultiplied ARGB gradient with some detail, `size` pixels.
std::shared_ptr<PixelBuffer> gradientRaster(Size size);

// `jpeg` with an EXIF block recording `exifOrientation`, inserted after the SOI marker.
std::vector<std::uint8_t> withExifOrientation(const std::vector<std::uint8_t>& jpeg, int exifOrientation);

// `png` with an eXIf chunk recording `exifOrientation`, inserted after IHDR.
std::vector<std::uint8_t> withExifChunk(const std::vector<std::uint8_t>& png, int exifOrientation);

// A PNG header (signature and IHDR with a valid checksum) claiming `width` × `height`,
// followed by nothing else.
std::vector<std::uint8_t> pngHeaderClaiming(std::uint32_t width, std::uint32_t height);

// A fresh empty directory, removed when the object goes.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::string& name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

void writeFile(const std::filesystem::path&, const std::vector<std::uint8_t>&);
std::vector<std::uint8_t> readFile(const std::filesystem::path&);

} // namespace waterline::test
