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
#include "AtomicFile.h"
#include "Options.h"
#include "ReflectionFrames.h"

#include <waterline/effect/AlbumTargetSize.h>
#include <waterline/effect/FixOrientation.h>
#include <waterline/effect/PictureFile.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace waterline;
using namespace waterline::render;

namespace {

struct Failure {
    std::string message;
};

std::string readFileBytes(const std::filesystem::path& path, std::vector<std::uint8_t>& bytes)
{
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return path.string() + ": cannot open";
    std::uint8_t chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    bool failed = std::ferror(file);
    std::fclose(file);
    return failed ? path.string() + ": read error" : std::string();
}

// The input, upright, at the size the album flow would show it (or its own size).
std::shared_ptr<Picture> loadUpright(const Options& options)
{
    std::vector<std::uint8_t> bytes;
    if (auto error = readFileBytes(options.input, bytes); !error.empty())
        throw Failure{error};
    auto info = PictureFile::probe(bytes);
    if (!info)
        throw Failure{options.input.string() + ": " + info.error()->localizedDescription()};
    SizeF target = options.fit ? albumTargetSize(info->uprightSize()) : info->uprightSize();
    if (target.width < 1 || target.height < 1)
        throw Failure{options.input.string() + ": too narrow to fit 768 × 512 (could not scale image)"};
    PictureDecodeOptions decodeOptions;
    if (options.fit)
        decodeOptions.coverSize = Size{static_cast<int>(target.width), static_cast<int>(target.height)};
    auto decoded = PictureFile::decode(bytes, decodeOptions);
    if (!decoded)
        throw Failure{options.input.string() + ": " + decoded.error()->localizedDescription()};
    auto upright = fixOrientation(**decoded, target);
    if (!upright)
        throw Failure{options.input.string() + ": could not scale image"};
    return upright;
}

std::vector<std::uint8_t> encodeStill(const Options& options, ReflectionFrames& frames)
{
    frames.skipTo(options.frame);
    auto picture = frames.renderNext(options.waterOnly);
    if (!picture)
        throw Failure{"out of memory"};
    auto encoded = options.outputKind == OutputKind::JPEG ? PictureFile::encodeJPEG(picture->raster(), 0.85f)
                                                          : PictureFile::encodePNG(picture->raster());
    if (!encoded)
        throw Failure{options.output.string() + ": " + encoded.error()->localizedDescription()};
    return encoded.releaseValue();
}

std::vector<std::uint8_t> encodeAnimation(const Options& options, ReflectionFrames& frames)
{
    frames.skipTo(options.frame);
    std::unique_ptr<AnimatedWebP> animation;
    std::string error;
    for (long i = 0; i < options.animateFrames; ++i) {
        auto picture = frames.renderNext(options.waterOnly);
        if (!picture)
            throw Failure{"out of memory"};
        if (!animation && !(animation = AnimatedWebP::create(picture->raster().size(), error)))
            throw Failure{options.output.string() + ": " + error};
        if (error = animation->addFrame(picture->raster()); !error.empty())
            throw Failure{options.output.string() + ": " + error};
    }
    auto bytes = animation->finish(error);
    if (!error.empty())
        throw Failure{options.output.string() + ": " + error};
    return bytes;
}

int run(const Options& options)
{
    try {
        auto upright = loadUpright(options);
        std::string error;
        auto frames = ReflectionFrames::create(upright, {options.K1, options.K2, options.K3, options.K4}, error);
        if (!frames)
            throw Failure{options.input.string() + ": " + error};
        auto bytes = options.outputKind == OutputKind::AnimatedWebP ? encodeAnimation(options, *frames)
                                                                    : encodeStill(options, *frames);
        if (auto writeError = writeFileAtomically(options.output, bytes); !writeError.empty())
            throw Failure{writeError};
        return 0;
    } catch (const Failure& failure) {
        std::fprintf(stderr, "wl-render: %s\n", failure.message.c_str());
        return 1;
    }
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        std::printf("%s\n", kUsage);
        return 0;
    }
    auto parsed = parseOptions(arguments);
    if (!parsed.options) {
        std::fprintf(stderr, "wl-render: %s\n%s\n", parsed.error.c_str(), kUsage);
        return 2;
    }
    return run(*parsed.options);
}
