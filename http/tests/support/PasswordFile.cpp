#include <waterline/testing/PasswordFile.h>

#include <waterline/foundation/FileIO.h>
#include <waterline/testing/Subprocess.h>

#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

namespace waterline::testing {

namespace {

constexpr const char* kDomain = "PasswordFileErrorDomain";
enum ErrorCode { BadName = 1, HashFailed, BadArea };

ErrorOr<void> checkName(std::string_view what, const std::string& name)
{
    if (name.find_first_of(":\r\n") != std::string::npos)
        return Error::create(kDomain, BadName, std::string(what) + " may not hold ':' or a line break: " + name);
    return {};
}

ErrorOr<std::string> md5CryptHash(const std::string& password)
{
    auto result
        = WL_TRY(runCommand({"openssl", "passwd", "-1", "--", password}, {.timeout = std::chrono::seconds(10)}));
    std::string hash = result.output;
    while (!hash.empty() && (hash.back() == '\n' || hash.back() == '\r'))
        hash.pop_back();
    if (!result.exit.succeeded() || !hash.starts_with("$1$"))
        return Error::create(kDomain, HashFailed, "openssl passwd " + result.exit.description() + ": " + result.output);
    return hash;
}

std::string md5Hex(std::string_view text)
{
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    EVP_Digest(text.data(), text.size(), digest.data(), &length, EVP_md5(), nullptr);
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        std::array<char, 3> pair{};
        std::snprintf(pair.data(), pair.size(), "%02x", digest[i]);
        hex += pair.data();
    }
    return hex;
}

bool isPlainPath(const std::string& path)
{
    return path.size() >= 2 && path.front() == '/' && path.back() == '/'
        && std::all_of(path.begin(), path.end(),
                       [](unsigned char c) { return std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.'; });
}

} // namespace

const char* toString(AuthScheme scheme)
{
    switch (scheme) {
    case AuthScheme::Basic:
        return "Basic";
    case AuthScheme::Digest:
        return "Digest";
    }
    return "";
}

ErrorOr<void> writeBasicPasswordFile(const std::filesystem::path& path, std::span<const UserAccount> accounts)
{
    std::string text;
    for (const auto& account : accounts) {
        WL_TRY(checkName("A user name", account.user));
        text += account.user + ":" + WL_TRY(md5CryptHash(account.password)) + "\n";
    }
    return writeFileAtomically(path, text, {.permissions = 0644, .durable = false});
}

ErrorOr<void> writeDigestPasswordFile(const std::filesystem::path& path, const std::string& realm,
                                      std::span<const UserAccount> accounts)
{
    WL_TRY(checkName("A realm", realm));
    std::string text;
    for (const auto& account : accounts) {
        WL_TRY(checkName("A user name", account.user));
        text += account.user + ":" + realm + ":" + md5Hex(account.user + ":" + realm + ":" + account.password) + "\n";
    }
    return writeFileAtomically(path, text, {.permissions = 0644, .durable = false});
}

ErrorOr<void> validateProtectedArea(const ProtectedArea& area)
{
    if (!isPlainPath(area.path))
        return Error::create(kDomain, BadArea,
                             "A protected area's path starts and ends with '/' and holds only letters, digits and "
                             "-_./: "
                                 + area.path);
    if (area.realm.find_first_of("\"\\\r\n") != std::string::npos)
        return Error::create(kDomain, BadArea, "A realm may not hold '\"', '\\' or a line break: " + area.realm);
    return {};
}

} // namespace waterline::testing
