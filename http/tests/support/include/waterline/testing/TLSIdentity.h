// A server's certificate and its private key, as PEM files.
#pragma once

#include <filesystem>

namespace waterline::testing {

struct TLSIdentity {
    std::filesystem::path certificate;
    std::filesystem::path key;
};

} // namespace waterline::testing
