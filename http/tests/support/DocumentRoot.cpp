#include <waterline/testing/DocumentRoot.h>

#include <waterline/foundation/FileIO.h>

namespace waterline::testing {

std::string loopbackURL(std::string_view scheme, std::uint16_t port, std::string_view path)
{
    std::string text = std::string(scheme) + "://127.0.0.1:" + std::to_string(port);
    if (!path.starts_with('/'))
        text += '/';
    return text + std::string(path);
}

ErrorOr<void> createFolders(const std::filesystem::path& path)
{
    std::error_code error;
    std::filesystem::create_directories(path, error);
    if (error)
        return Error::create("DocumentRootErrorDomain", error.value(),
                             "Cannot create the folder " + path.string() + ": " + error.message());
    return {};
}

ErrorOr<void> writeServedFile(const std::filesystem::path& root, const std::filesystem::path& relativePath,
                              std::string_view bytes)
{
    auto target = root / relativePath;
    WL_TRY(createFolders(target.parent_path()));
    return writeFileAtomically(target, bytes, {.permissions = 0644, .durable = false});
}

} // namespace waterline::testing
