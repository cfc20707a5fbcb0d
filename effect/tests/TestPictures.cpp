#include "TestPictures.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace waterline::test {

std::shared_ptr<PixelBuffer> gradientRaster(Size size)
{
    std::shared_ptr<PixelBuffer> raster = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, size);
    for (int y = 0; y < size.height; ++y) {
        for (int x = 0; x < size.width; ++x) {
            std::uint8_t* p = raster->row(y) + 4 * x;
            p[0] = 0xFF;
            p[1] = static_cast<std::uint8_t>(x * 255 / std::max(1, size.width - 1));
            p[2] = static_cast<std::uint8_t>(y * 255 / std::max(1, size.height - 1));
            p[3] = static_cast<std::uint8_t>(((x / 8 + y / 8) % 2) ? 200 : 40);
        }
    }
    return raster;
}

namespace {

// A bare EXIF block: a big-endian TIFF header, IFD0 with the single Orientation entry.
std::vector<std::uint8_t> exifBlock(int exifOrientation)
{
    return {'M',  'M',
            0,    42,
            0,    0,
            0,    8, // header, IFD0 at 8
            0,    1, // one entry
            0x01, 0x12,
            0,    3,
            0,    0,
            0,    1, // Orientation, SHORT, count 1
            0,    static_cast<std::uint8_t>(exifOrientation),
            0,    0,
            0,    0,
            0,    0}; // no next IFD
}

} // namespace

std::vector<std::uint8_t> withExifOrientation(const std::vector<std::uint8_t>& jpeg, int exifOrientation)
{
    // APP1: "Exif\0\0" and the block.
    auto tiff = exifBlock(exifOrientation);
    const std::uint8_t exifName[6] = {'E', 'x', 'i', 'f', 0, 0};
    auto length = sizeof exifName + tiff.size() + 2;
    std::vector<std::uint8_t> out;
    for (std::uint8_t byte : {jpeg[0], jpeg[1], std::uint8_t{0xFF}, std::uint8_t{0xE1},
                              static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)})
        out.push_back(byte);
    for (std::uint8_t byte : exifName)
        out.push_back(byte);
    for (std::uint8_t byte : tiff)
        out.push_back(byte);
    for (std::size_t i = 2; i < jpeg.size(); ++i)
        out.push_back(jpeg[i]);
    return out;
}

namespace {

std::uint32_t crc32(const std::uint8_t* data, std::size_t size)
{
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return crc ^ 0xFFFFFFFFu;
}

void putBigEndian(std::vector<std::uint8_t>& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(value >> shift));
}

} // namespace

std::vector<std::uint8_t> pngHeaderClaiming(std::uint32_t width, std::uint32_t height)
{
    std::vector<std::uint8_t> out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<std::uint8_t> chunk = {'I', 'H', 'D', 'R'};
    putBigEndian(chunk, width);
    putBigEndian(chunk, height);
    for (std::uint8_t byte : {8, 6, 0, 0, 0}) // 8-bit RGBA, no interlace
        chunk.push_back(byte);
    putBigEndian(out, 13);
    for (std::uint8_t byte : chunk)
        out.push_back(byte);
    putBigEndian(out, crc32(chunk.data(), chunk.size()));
    for (const char* type : {"IDAT", "IEND"}) { // empty, so the header reads to its end
        putBigEndian(out, 0);
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<std::uint8_t>(type[i]));
        putBigEndian(out, crc32(reinterpret_cast<const std::uint8_t*>(type), 4));
    }
    return out;
}

ScratchDirectory::ScratchDirectory()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "waterline-effect-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_path = pattern;
}

ScratchDirectory::~ScratchDirectory()
{
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}

void writeFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::uint8_t> readFile(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

} // namespace waterline::test

namespace waterline::test {

std::vector<std::uint8_t> withExifChunk(const std::vector<std::uint8_t>& png, int exifOrientation)
{
    std::vector<std::uint8_t> chunk = {'e', 'X', 'I', 'f'};
    for (std::uint8_t byte : exifBlock(exifOrientation))
        chunk.push_back(byte);
    // After the signature (8 bytes) and IHDR (25 bytes).
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < 33; ++i)
        out.push_back(png[i]);
    putBigEndian(out, static_cast<std::uint32_t>(chunk.size() - 4));
    for (std::uint8_t byte : chunk)
        out.push_back(byte);
    putBigEndian(out, crc32(chunk.data(), chunk.size()));
    for (std::size_t i = 33; i < png.size(); ++i)
        out.push_back(png[i]);
    return out;
}

} // namespace waterline::test
