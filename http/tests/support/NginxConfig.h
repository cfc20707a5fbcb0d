// The configuration text of NginxServer: everything inside the server's own folder,
// one process in the foreground, and the locations NginxServer.h lists.
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/testing/NginxServer.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace waterline::testing {

struct NginxConfigInput {
    std::filesystem::path folder;
    std::filesystem::path root;
    std::uint16_t port;
    const NginxOptions& options;
};

// The Basic password file of options.protectedAreas[index], inside the server's folder.
std::filesystem::path nginxPasswordFile(const std::filesystem::path& folder, std::size_t index);

// Fails when a value given by the test cannot be written into nginx's syntax safely.
ErrorOr<std::string> nginxConfig(const NginxConfigInput& input);

} // namespace waterline::testing
