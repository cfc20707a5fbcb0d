// Runs persistent credential store operations given on the command line, in order, and
// prints one line for each, so that a test can use the store in a process whose
// session bus it chose:
//
//   credential_store_probe save USER PASSWORD SPACE | lookup SPACE | remove SPACE ...
//   SPACE: server|proxy HOST PORT SCHEME REALM
//
// Prints "saved", "removed", "none" or "found USER PASSWORD"; exits with 2 on bad usage.
#include <waterline/http/PersistentCredentialStore.h>

#include <cstdio>
#include <iostream>
#include <span>
#include <string>

using namespace waterline;

namespace {

constexpr std::size_t kSpaceArguments = 5;

ProtectionSpace spaceFrom(std::span<char*> arguments)
{
    return {
        .kind = std::string(arguments[0]) == "proxy" ? ProtectionSpace::Kind::HTTPProxy : ProtectionSpace::Kind::Server,
        .host = arguments[1],
        .port = std::stoi(arguments[2]),
        .scheme = arguments[3],
        .realm = arguments[4],
    };
}

// Runs the operation at the front of `arguments`; returns how many arguments it took,
// 0 when they do not form an operation.
std::size_t runOperation(std::span<char*> arguments)
{
    auto& store = PersistentCredentialStore::shared();
    std::string name = arguments[0];
    auto rest = arguments.subspan(1);
    if (name == "save" && rest.size() >= 2 + kSpaceArguments) {
        store.setDefaultCredential({rest[0], rest[1]}, spaceFrom(rest.subspan(2)));
        std::cout << "saved\n";
        return 3 + kSpaceArguments;
    }
    if ((name == "lookup" || name == "remove") && rest.size() >= kSpaceArguments) {
        auto space = spaceFrom(rest);
        if (name == "remove") {
            store.removeDefaultCredential(space);
            std::cout << "removed\n";
        } else if (auto credential = store.defaultCredential(space)) {
            std::cout << "found " << credential->user << " " << credential->password << "\n";
        } else {
            std::cout << "none\n";
        }
        return 1 + kSpaceArguments;
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::span<char*> arguments(argv + 1, static_cast<std::size_t>(argc - 1));
    while (!arguments.empty()) {
        auto used = runOperation(arguments);
        if (used == 0) {
            std::cerr << "usage: credential_store_probe save USER PASSWORD SPACE | lookup SPACE | remove SPACE ...\n"
                         "       SPACE: server|proxy HOST PORT SCHEME REALM\n";
            return 2;
        }
        std::cout.flush();
        arguments = arguments.subspan(used);
    }
    return 0;
}
