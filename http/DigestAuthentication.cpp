// Hashes through OpenSSL's EVP interface; the client nonce from its CSPRNG.
#include <waterline/http/DigestAuthentication.h>

#include "AsciiCase.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <array>
#include <cstdio>
#include <stdexcept>

namespace waterline {

namespace {

std::string hex(std::span<const unsigned char> bytes)
{
    static constexpr char digits[] = "0123456789abcdef";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (unsigned char byte : bytes) {
        text += digits[byte >> 4];
        text += digits[byte & 0xF];
    }
    return text;
}

const EVP_MD* hashFor(DigestAlgorithm algorithm)
{
    bool sha256 = algorithm == DigestAlgorithm::SHA256 || algorithm == DigestAlgorithm::SHA256Session;
    return sha256 ? EVP_sha256() : EVP_md5();
}

std::string hashBytes(DigestAlgorithm algorithm, std::span<const std::uint8_t> bytes)
{
    std::array<unsigned char, EVP_MAX_MD_SIZE> digest{};
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, hashFor(algorithm), nullptr) != 1)
        throw std::runtime_error("the message digest could not be computed");
    return hex({digest.data(), length});
}

std::optional<DigestAlgorithm> algorithmNamed(std::string_view name)
{
    auto upper = asciiUppercased(name);
    if (upper == "MD5")
        return DigestAlgorithm::MD5;
    if (upper == "MD5-SESS")
        return DigestAlgorithm::MD5Session;
    if (upper == "SHA-256")
        return DigestAlgorithm::SHA256;
    if (upper == "SHA-256-SESS")
        return DigestAlgorithm::SHA256Session;
    return std::nullopt;
}

// "auth" when offered, else "auth-int"; none when the list names neither.
std::optional<DigestQop> qopFrom(std::string_view offered)
{
    bool auth = false, authInt = false;
    while (!offered.empty()) {
        auto comma = offered.find(',');
        auto item = asciiLowercased(offered.substr(0, comma));
        item.erase(0, item.find_first_not_of(" \t"));
        item.erase(item.find_last_not_of(" \t") + 1);
        auth = auth || item == "auth";
        authInt = authInt || item == "auth-int";
        offered = comma == std::string_view::npos ? std::string_view{} : offered.substr(comma + 1);
    }
    if (auth)
        return DigestQop::Auth;
    if (authInt)
        return DigestQop::AuthInt;
    return std::nullopt;
}

std::string quoted(std::string_view text)
{
    std::string result(1, '"');
    for (char c : text) {
        if (c == '"' || c == '\\')
            result.push_back('\\');
        result.push_back(c);
    }
    result.push_back('"');
    return result;
}

std::string nonceCountText(std::uint32_t count)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08x", count);
    return text;
}

// "a:b:c", the form every hashed text of Digest takes.
std::string colonJoined(std::initializer_list<std::string_view> parts)
{
    std::string text;
    bool first = true;
    for (auto part : parts) {
        if (!first)
            text.push_back(':');
        text.append(part);
        first = false;
    }
    return text;
}

bool isSession(DigestAlgorithm algorithm)
{
    return algorithm == DigestAlgorithm::MD5Session || algorithm == DigestAlgorithm::SHA256Session;
}

} // namespace

std::optional<DigestChallenge> DigestChallenge::fromChallenge(const AuthenticationChallenge& challenge)
{
    if (!challenge.isScheme("Digest"))
        return std::nullopt;
    auto realm = challenge.parameter("realm");
    auto nonce = challenge.parameter("nonce");
    if (!realm || !nonce)
        return std::nullopt;
    DigestChallenge digest{.realm = *realm, .nonce = *nonce, .opaque = challenge.parameter("opaque")};
    if (auto name = challenge.parameter("algorithm")) {
        auto algorithm = algorithmNamed(*name);
        if (!algorithm)
            return std::nullopt;
        digest.algorithm = *algorithm;
        digest.algorithmName = *name;
    }
    if (auto offered = challenge.parameter("qop")) {
        auto qop = qopFrom(*offered);
        if (!qop)
            return std::nullopt;
        digest.qop = *qop;
    }
    digest.stale = asciiLowercased(challenge.parameter("stale").value_or("")) == "true";
    digest.userhash = asciiLowercased(challenge.parameter("userhash").value_or("")) == "true";
    return digest;
}

std::string digestHash(DigestAlgorithm algorithm, std::string_view text)
{
    return hashBytes(algorithm, {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

std::string digestResponse(const DigestChallenge& challenge, const DigestResponseInput& input)
{
    auto H = [&](std::initializer_list<std::string_view> parts) {
        return digestHash(challenge.algorithm, colonJoined(parts));
    };
    std::string ha1 = H({input.username, challenge.realm, input.password});
    if (isSession(challenge.algorithm))
        ha1 = H({ha1, challenge.nonce, input.cnonce});
    std::string ha2 = challenge.qop == DigestQop::AuthInt
        ? H({input.method, input.uri, hashBytes(challenge.algorithm, input.entityBody)})
        : H({input.method, input.uri});
    if (challenge.qop == DigestQop::None)
        return H({ha1, challenge.nonce, ha2});
    std::string_view qop = challenge.qop == DigestQop::Auth ? "auth" : "auth-int";
    return H({ha1, challenge.nonce, nonceCountText(input.nonceCount), input.cnonce, qop, ha2});
}

std::string digestAuthorizationValue(const DigestChallenge& challenge, const DigestResponseInput& input)
{
    std::string username = challenge.userhash
        ? digestHash(challenge.algorithm, colonJoined({input.username, challenge.realm}))
        : input.username;
    std::string value = "Digest ";
    auto add = [&](std::string_view name, const std::string& text) {
        if (value.size() > 7)
            value.append(", ");
        value.append(name).append("=").append(text);
    };
    add("username", quoted(username));
    add("realm", quoted(challenge.realm));
    add("nonce", quoted(challenge.nonce));
    add("uri", quoted(input.uri));
    add("algorithm", challenge.algorithmName);
    if (challenge.qop != DigestQop::None) {
        add("qop", challenge.qop == DigestQop::Auth ? "auth" : "auth-int");
        add("nc", nonceCountText(input.nonceCount));
        add("cnonce", quoted(input.cnonce));
    }
    add("response", quoted(digestResponse(challenge, input)));
    if (challenge.opaque)
        add("opaque", quoted(*challenge.opaque));
    if (challenge.userhash)
        add("userhash", "true");
    return value;
}

std::string makeClientNonce()
{
    std::array<unsigned char, 16> bytes{};
    if (RAND_bytes(bytes.data(), static_cast<int>(bytes.size())) != 1)
        throw std::runtime_error("the system's random generator failed");
    return hex(bytes);
}

} // namespace waterline
