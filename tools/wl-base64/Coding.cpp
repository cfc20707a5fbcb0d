#include "Coding.h"

#include "FileSnapshot.h"
#include "LineWrapper.h"
#include "StagedOutput.h"
#include "ToolError.h"
#include <waterline/base64/Base64.h>
#include <waterline/base64/Base64StreamDecoder.h>
#include <waterline/foundation/FileIO.h>

#include <cerrno>
#include <cstdio>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace waterline {

namespace {

constexpr std::size_t kEncodeBlock = 3u << 20; // a multiple of three
constexpr std::size_t kDecodeBlock = 1u << 20;

using ByteSink = std::function<ErrorOr<void>(std::span<const std::uint8_t>)>;

// The exit status for `result`, reporting a failure on standard error.
int report(const ErrorOr<void>& result)
{
    if (!result.isError())
        return 0;
    std::fprintf(stderr, "wl-base64: %s\n", result.error()->localizedDescription().c_str());
    return 1;
}

ErrorPtr invalidInput()
{
    return toolError("invalid input");
}

std::optional<std::vector<std::uint8_t>> encodeBlock(std::span<const std::uint8_t> block, const Options& options)
{
    if (!options.webSafe)
        return Base64::encodeBytes(block);
    return Base64::webSafeEncodeBytes(block, options.noPadding ? Base64::Padding::Omitted : Base64::Padding::Written);
}

ErrorOr<std::size_t> readBlock(int input, std::span<std::uint8_t> block)
{
    auto n = readFull(input, block);
    if (!n)
        return ioError("read error", n.error());
    return n;
}

ErrorOr<void> writeOutput(int output, std::span<const std::uint8_t> bytes)
{
    if (auto written = writeAll(output, bytes); !written)
        return ioError("write error", written.error());
    return {};
}

// Decodes the whole input, handing the bytes to `sink` block by block. An empty input
// decodes to nothing, so that decoding undoes the encoding of an empty file.
ErrorOr<void> decodeAll(int input, bool webSafe, const ByteSink& sink)
{
    auto decoder = webSafe ? Base64StreamDecoder::webSafe() : Base64StreamDecoder::standard();
    std::vector<std::uint8_t> text(kDecodeBlock);
    std::vector<std::uint8_t> bytes;
    std::uint64_t textLength = 0;
    for (;;) {
        const auto n = WL_TRY(readBlock(input, text));
        if (n == 0)
            break;
        textLength += n;
        bytes.clear();
        // The decoder takes a NUL byte as the end of the text, as C strings have it; in
        // a file it would silently drop everything after it, so it makes the input invalid.
        if (!decoder.decode(std::span(text).first(n), bytes) || decoder.inputEnded())
            return invalidInput();
        if (!bytes.empty())
            WL_TRY(sink(bytes));
    }
    if (textLength == 0)
        return {};
    if (!decoder.finish() || decoder.decodedLength() == 0)
        return invalidInput();
    return {};
}

// A regular input file can be read twice: once to prove it valid, then for real.
bool rereadable(int input)
{
    struct stat info {};
    return ::fstat(input, &info) == 0 && S_ISREG(info.st_mode) && ::lseek(input, 0, SEEK_CUR) >= 0;
}

// For destinations that cannot take bytes back (pipes, terminals, files in append
// mode): validate a re-readable input first, then decode it again straight to the
// destination. An input changed in between is refused before anything is written.
ErrorOr<void> decodeTwice(int input, int output, bool webSafe)
{
    const off_t start = ::lseek(input, 0, SEEK_CUR);
    const auto snapshot = WL_TRY(FileSnapshot::take(input));
    WL_TRY(decodeAll(input, webSafe, [](std::span<const std::uint8_t>) -> ErrorOr<void> { return {}; }));
    WL_TRY(snapshot.checkUnchanged(input));
    if (::lseek(input, start, SEEK_SET) != start)
        return ioError("read error", Error::fromErrno(errno));
    auto written
        = decodeAll(input, webSafe, [&](std::span<const std::uint8_t> bytes) { return writeOutput(output, bytes); });
    // A change while writing cannot be undone any more, but it is still a failure.
    WL_TRY(snapshot.checkUnchanged(input));
    return written;
}

ErrorOr<void> encodeAll(int input, int output, const Options& options)
{
    std::vector<std::uint8_t> block(kEncodeBlock);
    LineWrapper wrapper(options.wrapColumns);
    for (;;) {
        const auto n = WL_TRY(readBlock(input, block));
        if (n == 0)
            break;
        const auto text = encodeBlock(std::span(block).first(n), options);
        if (!text)
            return toolError("out of memory");
        WL_TRY(writeOutput(output, wrapper.wrap(*text)));
        if (n < block.size())
            break;
    }
    static constexpr std::uint8_t kNewline[] = {'\n'};
    if (wrapper.lineOpen())
        WL_TRY(writeOutput(output, kNewline));
    return {};
}

ErrorOr<void> decodeStaged(int input, int output, const Options& options)
{
    StagedOutput staged(output);
    if (!staged.writesDirectly() && rereadable(input))
        return decodeTwice(input, output, options.webSafe);
    auto decoded
        = decodeAll(input, options.webSafe, [&](std::span<const std::uint8_t> bytes) { return staged.write(bytes); });
    if (!decoded)
        return decoded; // the staged output discards itself
    return staged.commit();
}

} // namespace

int encodeStream(int input, int output, const Options& options)
{
    return report(encodeAll(input, output, options));
}

int decodeStream(int input, int output, const Options& options)
{
    return report(decodeStaged(input, output, options));
}

} // namespace waterline
