#include "Coding.h"

#include "FileDescriptor.h"
#include "LineWrapper.h"
#include "StagedOutput.h"
#include <waterline/base64/Base64.h>
#include <waterline/base64/Base64StreamDecoder.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace waterline {

namespace {

constexpr std::size_t kEncodeBlock = 3u << 20; // a multiple of three
constexpr std::size_t kDecodeBlock = 1u << 20;

int report(const std::string& message)
{
    std::fprintf(stderr, "wl-base64: %s\n", message.c_str());
    return 1;
}

int reportErrno(const std::string& what)
{
    return report(what + ": " + std::strerror(errno));
}

std::optional<std::vector<std::uint8_t>> encodeBlock(std::span<const std::uint8_t> block, const Options& options)
{
    if (!options.webSafe)
        return Base64::encodeBytes(block);
    return Base64::webSafeEncodeBytes(block, options.noPadding ? Base64::Padding::Omitted : Base64::Padding::Written);
}

enum class DecodeOutcome { Decoded, Invalid, ReadError, WriteError };

// Decodes the whole input, handing the bytes to `sink` block by block.
DecodeOutcome decodeAll(int input, bool webSafe, const std::function<bool(std::span<const std::uint8_t>)>& sink)
{
    auto decoder = webSafe ? Base64StreamDecoder::webSafe() : Base64StreamDecoder::standard();
    std::vector<std::uint8_t> text(kDecodeBlock);
    std::vector<std::uint8_t> bytes;
    while (!decoder.inputEnded()) {
        const auto n = readFull(input, text);
        if (!n)
            return DecodeOutcome::ReadError;
        if (*n == 0)
            break;
        bytes.clear();
        if (!decoder.decode(std::span(text).first(*n), bytes))
            return DecodeOutcome::Invalid;
        if (!bytes.empty() && !sink(bytes))
            return DecodeOutcome::WriteError;
    }
    if (!decoder.finish() || decoder.decodedLength() == 0)
        return DecodeOutcome::Invalid;
    return DecodeOutcome::Decoded;
}

// A regular input file can be read twice: once to prove it valid, then for real.
bool rereadable(int input)
{
    struct stat info {};
    return ::fstat(input, &info) == 0 && S_ISREG(info.st_mode) && ::lseek(input, 0, SEEK_CUR) >= 0;
}

int reportOutcome(DecodeOutcome outcome, const std::string& writeError)
{
    switch (outcome) {
    case DecodeOutcome::Decoded:
        return 0;
    case DecodeOutcome::Invalid:
        return report("invalid input");
    case DecodeOutcome::ReadError:
        return reportErrno("read error");
    case DecodeOutcome::WriteError:
        return report(writeError);
    }
    return 1;
}

// For destinations that cannot take bytes back (pipes, terminals): validate a
// re-readable input first, then decode it again straight to the destination.
int decodeTwice(int input, int output, bool webSafe)
{
    const off_t start = ::lseek(input, 0, SEEK_CUR);
    const DecodeOutcome check = decodeAll(input, webSafe, [](std::span<const std::uint8_t>) { return true; });
    if (check != DecodeOutcome::Decoded)
        return reportOutcome(check, {});
    if (::lseek(input, start, SEEK_SET) != start)
        return reportErrno("read error");
    int writeErrno = 0;
    const DecodeOutcome outcome = decodeAll(input, webSafe, [&](std::span<const std::uint8_t> bytes) {
        if (writeAll(output, bytes))
            return true;
        writeErrno = errno;
        return false;
    });
    return reportOutcome(outcome, std::string("write error: ") + std::strerror(writeErrno));
}

} // namespace

int encodeStream(int input, int output, const Options& options)
{
    std::vector<std::uint8_t> block(kEncodeBlock);
    LineWrapper wrapper(options.wrapColumns);
    for (;;) {
        const auto n = readFull(input, block);
        if (!n)
            return reportErrno("read error");
        if (*n == 0)
            break;
        const auto text = encodeBlock(std::span(block).first(*n), options);
        if (!text || !writeAll(output, wrapper.wrap(*text)))
            return reportErrno("write error");
        if (*n < block.size())
            break;
    }
    static constexpr std::uint8_t kNewline[] = {'\n'};
    if (wrapper.lineOpen() && !writeAll(output, kNewline))
        return reportErrno("write error");
    return 0;
}

int decodeStream(int input, int output, const Options& options)
{
    StagedOutput staged(output);
    if (!staged.writesDirectly() && rereadable(input))
        return decodeTwice(input, output, options.webSafe);

    const DecodeOutcome outcome
        = decodeAll(input, options.webSafe, [&](std::span<const std::uint8_t> bytes) { return staged.write(bytes); });
    if (outcome != DecodeOutcome::Decoded) {
        staged.discard();
        return reportOutcome(outcome, staged.error());
    }
    if (!staged.commit())
        return report(staged.error());
    return 0;
}

} // namespace waterline
