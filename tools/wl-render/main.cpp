// wl-render: the reflection effect on a picture file, without the screen.
//
//     wl-render photo.jpg -o out.png                    the picture above its reflection
//     wl-render photo.jpg -o water.png --water-only     the reflection alone
//     wl-render photo.jpg -o out.jpg --frame 50 --k2 8  the 51st frame, faster ripples
//     wl-render photo.jpg -o ripple.webp --animate 100  two seconds of animation
//
// The input is brought upright by its EXIF orientation and fitted into 768 × 512 as an
// album photo is (--no-fit keeps its size when it fits the water buffer). Exit status:
// 0 done, 1 unreadable input or failed output, 2 bad arguments. The output is written
// whole or not at all.
#include "AnimatedWebP.h"
#include "Options.h"
#include "ReflectionFrames.h"
#include "RenderError.h"

#include <waterline/foundation/ProgramInfo.h>
#include <waterline/effect/AlbumTargetSize.h>
#include <waterline/effect/FixOrientation.h>
#include <waterline/effect/PictureFile.h>
#include <waterline/foundation/FileIO.h>

#include <cerrno>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <vector>

using namespace waterline;
using namespace waterline::render;

namespace {

// The whole input, up to the picture file limit (a stream such as /dev/zero is cut off
// there, not read until memory runs out).
ErrorOr<std::vector<std::uint8_t>> readInput(const std::filesystem::path& path)
{
    auto bytes = PictureFile::readContents(path);
    // A missing file says so plainly; other failures carry the reason.
    if (!bytes && bytes.error()->underlyingError() && bytes.error()->underlyingError()->code() == ENOENT)
        return renderError(path.string() + ": cannot open", bytes.releaseError());
    if (!bytes)
        return renderError(bytes.error()->localizedDescription(), bytes.error());
    return bytes;
}

// Why a picture cannot be fitted into 768 × 512, naming the side that is too small.
std::optional<std::string> unfittable(SizeF target)
{
    if (target.width < 1)
        return "too narrow to fit 768 × 512 (could not scale image)";
    if (target.height < 1)
        return "too flat to fit 768 × 512 (could not scale image)";
    return std::nullopt;
}

FrameContent frameContent(const Options& options)
{
    return options.waterOnly ? FrameContent::WaterOnly : FrameContent::Composed;
}

// The input, upright, at the size the album flow would show it (or its own size).
ErrorOr<std::shared_ptr<Picture>> loadUpright(const Options& options)
{
    auto bytes = WL_TRY(readInput(options.input));
    auto info = PictureFile::probe(bytes);
    if (!info)
        return renderError(options.input.string() + ": " + info.error()->localizedDescription());
    SizeF target = options.fit ? albumTargetSize(info->uprightSize()) : info->uprightSize();
    if (auto reason = unfittable(target))
        return renderError(options.input.string() + ": " + *reason);
    PictureDecodeOptions decodeOptions;
    if (options.fit)
        decodeOptions.coverSize = Size{static_cast<int>(target.width), static_cast<int>(target.height)};
    auto decoded = PictureFile::decode(bytes, decodeOptions);
    if (!decoded)
        return renderError(options.input.string() + ": " + decoded.error()->localizedDescription(), decoded.error());
    auto upright = fixOrientation(**decoded, target);
    if (!upright)
        return renderError(options.input.string() + ": could not scale image");
    return upright;
}

ErrorOr<std::vector<std::uint8_t>> encodeStill(const Options& options, ReflectionFrames& frames)
{
    frames.skipTo(options.frame);
    auto picture = frames.renderNext(frameContent(options));
    if (!picture)
        return renderError("out of memory");
    auto encoded = options.outputKind == OutputKind::JPEG ? PictureFile::encodeJPEG(picture->raster(), 0.85f)
                                                          : PictureFile::encodePNG(picture->raster());
    if (!encoded)
        return renderError(options.output.string() + ": " + encoded.error()->localizedDescription(), encoded.error());
    return encoded.releaseValue();
}

ErrorOr<void> writeAnimation(const Options& options, ReflectionFrames& frames)
{
    auto inOutput = [&](const ErrorPtr& error) {
        return renderError(options.output.string() + ": " + error->localizedDescription(), error);
    };
    frames.skipTo(options.frame);
    std::unique_ptr<AnimatedWebP> animation;
    for (long i = 0; i < options.animateFrames; ++i) {
        auto picture = frames.renderNext(frameContent(options));
        if (!picture)
            return renderError("out of memory");
        if (!animation) {
            auto created = AnimatedWebP::create(options.output, picture->raster().size(), options.animateFrames);
            if (!created)
                return inOutput(created.error());
            animation = created.releaseValue();
        }
        if (auto added = animation->addFrame(picture->raster()); !added)
            return inOutput(added.error());
    }
    if (auto finished = animation->finish(); !finished)
        return inOutput(finished.error());
    return {};
}

ErrorOr<void> renderToFile(const Options& options)
{
    auto upright = WL_TRY(loadUpright(options));
    auto frames = ReflectionFrames::create(upright, {options.K1, options.K2, options.K3, options.K4});
    if (!frames)
        return renderError(options.input.string() + ": " + frames.error()->localizedDescription());
    if (options.outputKind == OutputKind::AnimatedWebP)
        return writeAnimation(options, **frames);
    auto bytes = WL_TRY(encodeStill(options, **frames));
    // An output picture is an ordinary file, readable as any other the user makes.
    return writeFileAtomically(options.output, bytes, {.permissions = 0666});
}

} // namespace

int main(int argc, char** argv)
{
    if (waterline::answerVersionOption("wl-render", argc, argv))
        return 0;
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        std::printf("%s\n", kUsage);
        return 0;
    }
    auto options = parseOptions(arguments);
    if (!options) {
        std::fprintf(stderr, "wl-render: %s\n%s\n", options.error()->localizedDescription().c_str(), kUsage);
        return 2;
    }
    try {
        if (auto rendered = renderToFile(*options); !rendered) {
            std::fprintf(stderr, "wl-render: %s\n", rendered.error()->localizedDescription().c_str());
            return 1;
        }
    } catch (const std::bad_alloc&) {
        // Unwinding has removed any half-written output.
        std::fprintf(stderr, "wl-render: out of memory\n");
        return 1;
    }
    return 0;
}
