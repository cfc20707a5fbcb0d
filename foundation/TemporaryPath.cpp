// Unique temporary names from the kernel's random source.
#include <waterline/foundation/TemporaryPath.h>

#include <sys/random.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <random>

namespace waterline {

namespace {

std::array<std::uint8_t, 16> randomBytes()
{
    std::array<std::uint8_t, 16> bytes{};
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        ssize_t got = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            // Without getrandom a seeded generator still gives distinct names.
            std::random_device device;
            for (auto& byte : bytes)
                byte = static_cast<std::uint8_t>(device());
            return bytes;
        }
        filled += static_cast<std::size_t>(got);
    }
    return bytes;
}

} // namespace

std::string globallyUniqueString()
{
    auto bytes = randomBytes();
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0f) | 0x40); // version 4
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3f) | 0x80); // RFC 4122 variant
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            text += '-';
        text += kHex[bytes[i] >> 4];
        text += kHex[bytes[i] & 0x0f];
    }
    return text;
}

std::string temporaryDirectory()
{
    const char* tmpdir = std::getenv("TMPDIR");
    std::string directory = (tmpdir && *tmpdir) ? tmpdir : "/tmp";
    while (directory.size() > 1 && directory.back() == '/')
        directory.pop_back();
    return directory;
}

std::string temporaryFilePath()
{
    std::string directory = temporaryDirectory();
    if (directory != "/")
        directory += '/';
    return directory + globallyUniqueString();
}

} // namespace waterline
