// An animated, lossless WebP written frame by frame straight into its file, each frame
// shown for 20 ms like one tick of the frame chain. Every frame is encoded on its own
// and appended as it comes, so memory stays that of one frame however many there are;
// the file replaces the output only when finish() succeeds.
//
// The container is RIFF: "RIFF" size "WEBP", a VP8X chunk (canvas size, animation
// flag), an ANIM chunk (loop forever) and one ANMF chunk per frame holding the frame's
// lossless bitstream. The RIFF size is patched in when the last frame is written.
#pragma once

#include <waterline/foundation/AtomicFile.h>
#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/PixelBuffer.h>

#include <cstdint>
#include <filesystem>
#include <memory>

namespace waterline::render {

class AnimatedWebP {
public:
    static constexpr int kFrameMilliseconds = 20;
    // RIFF's 32-bit size field: the most a WebP file may hold after its first 8 bytes.
    static constexpr std::uint64_t kMaxRIFFPayload = 0xFFFFFFFFull - 9;

    // An error, before anything is written, when `frames` frames of `size` could pass
    // the format's limit, judged by their uncompressed pixels; or when the output
    // cannot be created.
    static ErrorOr<std::unique_ptr<AnimatedWebP>> create(const std::filesystem::path& output, Size size, long frames);

    // Encodes and appends a frame of the animation's size.
    ErrorOr<void> addFrame(const PixelBuffer&);
    // Completes the file and puts it in place of the output.
    ErrorOr<void> finish();

private:
    AnimatedWebP(AtomicFile, Size);
    ErrorOr<void> writeHeader();

    AtomicFile m_file;
    Size m_size;
};

} // namespace waterline::render
