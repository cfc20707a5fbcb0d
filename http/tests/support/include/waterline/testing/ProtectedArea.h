// Authentication for the test servers: accounts, and the part of a server's URL space
// that asks for them. NginxServer offers Basic, ApacheServer Basic and Digest (MD5);
// each protected area serves the document root's files below its path and logs every
// request to it with the user name and Authorization header the server saw.
//
//     auto apache = WL_TRY(ApacheServer::start({.protectedAreas = {{
//         .path = "/digest/", .scheme = AuthScheme::Digest, .realm = "Vault",
//         .accounts = {{"alice", "wonderland"}}}}}));
//     fetch(apache->url("/digest/a.txt"));   // 401 with a Digest challenge for "Vault"
#pragma once

#include <string>
#include <vector>

namespace waterline::testing {

struct UserAccount {
    std::string user;
    std::string password;
};

enum class AuthScheme { Basic, Digest };

struct ProtectedArea {
    // Where the area begins: starts and ends with '/', letters, digits and -_. between.
    std::string path = "/auth/";
    AuthScheme scheme = AuthScheme::Basic;
    std::string realm = "Waterline test";
    std::vector<UserAccount> accounts{};
    // Directives added inside the area's block, in the server's own syntax.
    std::string extraDirectives{};
};

const char* toString(AuthScheme scheme);

} // namespace waterline::testing
