// A folder of its own under the system's temporary directory, removed with everything
// in it when the owner goes. Servers keep their configuration, logs and document roots
// in one, so a test leaves nothing behind.
#pragma once

#include <waterline/foundation/ErrorOr.h>

#include <filesystem>

namespace waterline::testing {

class TemporaryFolder {
public:
    // Creates a fresh folder (mode 0755, so a server that drops privileges can still
    // enter it) at a new temporaryFilePath().
    static ErrorOr<TemporaryFolder> create();

    TemporaryFolder(TemporaryFolder&& other) noexcept;
    TemporaryFolder& operator=(TemporaryFolder&& other) noexcept;
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;
    ~TemporaryFolder();

    const std::filesystem::path& path() const { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& child) const { return m_path / child; }

private:
    explicit TemporaryFolder(std::filesystem::path path)
        : m_path(std::move(path))
    {
    }
    void remove();

    std::filesystem::path m_path;
};

} // namespace waterline::testing
