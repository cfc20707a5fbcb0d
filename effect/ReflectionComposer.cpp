#include <waterline/effect/ReflectionComposer.h>
#include <waterline/effect/FixOrientation.h>

#include <pixman.h>

namespace waterline {

namespace {

constexpr pixman_format_code_t kPixmanARGBBytes
    = __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__ ? PIXMAN_b8g8r8a8 : PIXMAN_a8r8g8b8;

// An upright ARGB raster for drawing: the picture's own when it already is one.
std::shared_ptr<const PixelBuffer> uprightARGB(const Picture& picture)
{
    if (picture.orientation() == PictureOrientation::Up
        && picture.raster().format() == PixelFormat::ARGB32Premultiplied)
        return picture.sharedRaster();
    return orientUpright(picture.raster(), picture.orientation());
}

void drawOver(const PixelBuffer& source, PixelBuffer& canvas, int y)
{
    auto* from = pixman_image_create_bits(kPixmanARGBBytes, source.width(), source.height(),
                                          reinterpret_cast<std::uint32_t*>(const_cast<std::uint8_t*>(source.data())),
                                          static_cast<int>(source.stride()));
    auto* to
        = pixman_image_create_bits(kPixmanARGBBytes, canvas.width(), canvas.height(),
                                   reinterpret_cast<std::uint32_t*>(canvas.data()), static_cast<int>(canvas.stride()));
    if (from && to)
        pixman_image_composite32(PIXMAN_OP_OVER, from, nullptr, to, 0, 0, 0, 0, 0, y, source.width(), source.height());
    if (from)
        pixman_image_unref(from);
    if (to)
        pixman_image_unref(to);
}

} // namespace

std::shared_ptr<Picture> composeWithReflection(const Picture* picture, const Picture* water)
{
    if (!water)
        return nullptr;
    auto waterRaster = uprightARGB(*water);
    if (!waterRaster || waterRaster->size().isEmpty())
        return nullptr;
    int width = waterRaster->width();
    int height = waterRaster->height();
    auto canvas = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {width, 2 * height});
    if (!canvas)
        return nullptr;
    if (picture) {
        if (auto pictureRaster = uprightARGB(*picture); pictureRaster && !pictureRaster->size().isEmpty())
            drawOver(*pictureRaster, *canvas, 0);
    }
    drawOver(*waterRaster, *canvas, height);
    return Picture::create(std::move(canvas));
}

} // namespace waterline
