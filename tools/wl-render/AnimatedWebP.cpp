#include "AnimatedWebP.h"

#include <waterline/image/PixelConversion.h>
#include "RenderError.h"

#include <webp/encode.h>
#include <webp/mux.h>

namespace waterline::render {

AnimatedWebP::AnimatedWebP(WebPAnimEncoder* encoder, Size size)
    : m_encoder(encoder)
    , m_size(size)
{
}

AnimatedWebP::~AnimatedWebP()
{
    WebPAnimEncoderDelete(m_encoder);
}

ErrorOr<std::unique_ptr<AnimatedWebP>> AnimatedWebP::create(Size size)
{
    WebPAnimEncoderOptions options;
    if (!WebPAnimEncoderOptionsInit(&options))
        return renderError("WebP library version mismatch");
    options.anim_params.loop_count = 0; // forever
    WebPAnimEncoder* encoder = WebPAnimEncoderNew(size.width, size.height, &options);
    if (!encoder)
        return renderError("cannot make a WebP animation of this size");
    return std::unique_ptr<AnimatedWebP>(new AnimatedWebP(encoder, size));
}

ErrorOr<void> AnimatedWebP::addFrame(const PixelBuffer& frame)
{
    if (frame.size() != m_size)
        return renderError("animation frames must all have the same size");
    WebPConfig config;
    if (!WebPConfigInit(&config) || !WebPConfigLosslessPreset(&config, 0))
        return renderError("WebP library version mismatch");
    WebPPicture picture;
    if (!WebPPictureInit(&picture))
        return renderError("WebP library version mismatch");
    picture.use_argb = 1;
    picture.width = m_size.width;
    picture.height = m_size.height;
    // WebP takes straight (not premultiplied) R, G, B, A bytes.
    auto rgba = image::straightRGBA(frame);
    ErrorPtr error;
    if (!WebPPictureImportRGBA(&picture, rgba.data(), m_size.width * 4))
        error = renderError("out of memory for a WebP frame");
    else if (!WebPAnimEncoderAdd(m_encoder, &picture, m_timestamp, &config))
        error = renderError(std::string("WebP encoding failed: ") + WebPAnimEncoderGetError(m_encoder));
    WebPPictureFree(&picture);
    m_timestamp += kFrameMilliseconds;
    return error;
}

ErrorOr<std::vector<std::uint8_t>> AnimatedWebP::finish()
{
    WebPData data;
    WebPDataInit(&data);
    if (!WebPAnimEncoderAdd(m_encoder, nullptr, m_timestamp, nullptr) || !WebPAnimEncoderAssemble(m_encoder, &data)) {
        WebPDataClear(&data);
        return renderError(std::string("WebP encoding failed: ") + WebPAnimEncoderGetError(m_encoder));
    }
    std::vector<std::uint8_t> bytes(data.bytes, data.bytes + data.size);
    WebPDataClear(&data);
    return bytes;
}

} // namespace waterline::render
