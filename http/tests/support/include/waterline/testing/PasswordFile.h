// The password files the test servers read. Basic passwords are stored as MD5-crypt
// hashes ("$1$…"), which nginx, Apache and squid's basic_ncsa_auth all accept, so the
// file format cannot be the reason one of them refuses a password. Digest files hold
// MD5(user:realm:password), the only hash Apache's digest module reads.
#pragma once

#include <waterline/foundation/ErrorOr.h>
#include <waterline/testing/ProtectedArea.h>

#include <filesystem>
#include <span>
#include <string>

namespace waterline::testing {

// "user:$1$salt$hash" lines. Fails on a user name with ':' or a line break.
ErrorOr<void> writeBasicPasswordFile(const std::filesystem::path& path, std::span<const UserAccount> accounts);

// "user:realm:md5hex" lines. Fails on a ':' or a line break in a user name or the realm.
ErrorOr<void> writeDigestPasswordFile(const std::filesystem::path& path, const std::string& realm,
                                      std::span<const UserAccount> accounts);

// Checks an area's path and realm before they go into a server's configuration.
ErrorOr<void> validateProtectedArea(const ProtectedArea& area);

} // namespace waterline::testing
