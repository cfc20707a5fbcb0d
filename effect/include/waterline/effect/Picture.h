// A picture as the effect engine sees it: a stored raster, an orientation tag saying how
// the raster must be turned to stand upright, and the upright size in points. Every
// picture the engine makes has a scale of 1, so points equal pixels.
//
// Pictures are immutable and shared: the same picture may sit on a view, in a save
// composition and in a loader at once, on different threads.
//
//     auto tag = Picture::named("tag.jpg");            // empty when the resource is missing
//     SizeF upright = tag->size();                     // 768 × 512
#pragma once

#include <waterline/foundation/Geometry.h>
#include <waterline/foundation/PixelBuffer.h>

#include <filesystem>
#include <memory>
#include <string_view>

namespace waterline {

// The orientation tags 0–7 (the EXIF orientations 1, 3, 8, 6, 2, 4, 5, 7 in this order).
enum class PictureOrientation : std::uint8_t {
    Up = 0,
    Down = 1,          // turned by 180°
    Left = 2,          // turn 90° counter-clockwise to stand upright
    Right = 3,         // turn 90° clockwise to stand upright
    UpMirrored = 4,    // left and right swapped
    DownMirrored = 5,  // top and bottom swapped
    LeftMirrored = 6,  // transposed
    RightMirrored = 7, // transposed about the other diagonal
};

// True for the tags whose upright picture has the stored raster's sides swapped.
constexpr bool swapsSides(PictureOrientation orientation)
{
    auto tag = static_cast<int>(orientation);
    return tag == 2 || tag == 3 || tag == 6 || tag == 7;
}

class Picture {
public:
    // Empty when the raster is missing.
    static std::shared_ptr<Picture> create(std::shared_ptr<const PixelBuffer> raster,
                                           PictureOrientation = PictureOrientation::Up);

    // A picture resource of the application, decoded once and then shared. Looked up in
    // resourceDirectory(); empty (with a line on standard error) when it is missing or
    // cannot be decoded.
    static std::shared_ptr<Picture> named(std::string_view name);

    // Where named() looks: $WATERLINE_RESOURCES when set and not empty; otherwise, for an
    // installed program, share/waterline beside the folder of its executable; otherwise
    // the build's resources directory (${CMAKE_BINARY_DIR}/resources, fixed at build time).
    static std::filesystem::path resourceDirectory();

    const PixelBuffer& raster() const { return *m_raster; }
    std::shared_ptr<const PixelBuffer> sharedRaster() const { return m_raster; }
    PictureOrientation orientation() const { return m_orientation; }

    // The upright size in points: the raster's size, sides swapped for tags 2, 3, 6, 7.
    SizeF size() const;

private:
    Picture(std::shared_ptr<const PixelBuffer>, PictureOrientation);

    std::shared_ptr<const PixelBuffer> m_raster;
    PictureOrientation m_orientation;
};

} // namespace waterline
