// A view that shows one picture. The picture is shared, not copied: setting it costs a
// reference count, so the water picture can be replaced 50 times a second. Pictures are
// premultiplied 32-bit buffers of either byte order; one pixel is one point.
//
//     auto& water = root.add<ImageView>(RectF{0, 512, 768, 1024});
//     water.setContentMode(ContentMode::Top);
//     water.setImage(std::move(frame));   // std::shared_ptr<const PixelBuffer>
#pragma once

#include <waterline/foundation/PixelBuffer.h>
#include <waterline/ui/View.h>

#include <memory>

namespace waterline {

enum class ContentMode {
    ScaleToFill, // stretched to the bounds, ignoring the aspect ratio (the default)
    Top,         // natural size, against the top edge, centred horizontally
};

class ImageView : public View {
public:
    ImageView() = default;
    explicit ImageView(RectF frame)
        : View(frame)
    {
    }

    const std::shared_ptr<const PixelBuffer>& image() const { return m_image; }
    // None empties the view. The buffer must not be written while the view holds it.
    void setImage(std::shared_ptr<const PixelBuffer>);
    // The picture's size in points (0 × 0 when empty).
    SizeF imageSize() const;

    ContentMode contentMode() const { return m_mode; }
    void setContentMode(ContentMode);

    // Where the picture lands, in local points (empty when there is no picture).
    RectF imageRect() const;

    void draw(Canvas&) override;

private:
    std::shared_ptr<const PixelBuffer> m_image;
    ContentMode m_mode = ContentMode::ScaleToFill;
};

} // namespace waterline
