#include <waterline/testing/LoopbackPort.h>

#include <waterline/foundation/FileDescriptor.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace waterline::testing {

namespace {

// Inodes of the sockets in LISTEN state on 127.0.0.1:port or 0.0.0.0:port, from the
// kernel's table (/proc/net/tcp: "sl local rem st tx:rx tr:when retrnsmt uid timeout inode").
std::set<std::string> listeningSocketInodes(std::uint16_t port)
{
    constexpr const char* kListenState = "0A";
    char loopback[16];
    char any[16];
    std::snprintf(loopback, sizeof loopback, "0100007F:%04X", port);
    std::snprintf(any, sizeof any, "00000000:%04X", port);
    std::set<std::string> inodes;
    std::ifstream table("/proc/net/tcp");
    std::string line;
    std::getline(table, line); // column titles
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state, queues, timer, retransmits, uid, timeout, inode;
        fields >> slot >> local >> remote >> state >> queues >> timer >> retransmits >> uid >> timeout >> inode;
        if (state == kListenState && (local == loopback || local == any))
            inodes.insert(inode);
    }
    return inodes;
}

} // namespace

sockaddr_in loopbackAddress(std::uint16_t port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

ErrorOr<std::uint16_t> pickFreeLoopbackPort()
{
    FileDescriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket)
        return Error::fromErrno(errno, "Cannot open a socket: " + errnoText(errno));
    auto address = loopbackAddress(0);
    if (::bind(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        return Error::fromErrno(errno, "Cannot bind a loopback port: " + errnoText(errno));
    socklen_t length = sizeof address;
    if (::getsockname(socket.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return Error::fromErrno(errno, "Cannot read the bound port: " + errnoText(errno));
    return ntohs(address.sin_port);
}

bool acceptsConnections(std::uint16_t port)
{
    FileDescriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (!socket)
        return false;
    auto address = loopbackAddress(port);
    return ::connect(socket.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

bool processListensOn(pid_t pid, std::uint16_t port)
{
    auto inodes = listeningSocketInodes(port);
    if (inodes.empty())
        return false;
    std::error_code error;
    std::filesystem::directory_iterator descriptors("/proc/" + std::to_string(pid) + "/fd", error);
    if (error)
        return false;
    for (const auto& descriptor : descriptors) {
        auto target = std::filesystem::read_symlink(descriptor.path(), error).string();
        // A socket reads "socket:[INODE]".
        if (!error && target.starts_with("socket:[") && inodes.contains(target.substr(8, target.size() - 9)))
            return true;
    }
    return false;
}

} // namespace waterline::testing
