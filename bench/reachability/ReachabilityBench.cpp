// What one reading of reachability flags costs, beside the older ways of asking the
// kernel the same questions: a route look-up over rtnetlink against connecting a UDP
// socket (which looks the route up and sends nothing), and the default-route dump
// against scanning /proc/net/route plus an interface-flags ioctl. The set-by-hand
// provider shows the monitor's own overhead. Loopback and the routing tables only:
// no packet leaves the machine.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <waterline/reachability/LinuxFlagsProvider.h>
#include <waterline/reachability/Reachability.h>
#include <waterline/reachability/TestFlagsProvider.h>

namespace {

using namespace waterline;

void BM_LinuxFlagsForLoopbackAddress(benchmark::State& state)
{
    LinuxFlagsProvider provider;
    auto handle = provider.createWithAddress(SocketAddressIPv4::make({127, 0, 0, 1}));
    for (auto _ : state)
        benchmark::DoNotOptimize(handle->getFlags());
}
BENCHMARK(BM_LinuxFlagsForLoopbackAddress);

// Peer: the kernel's route choice through a connected UDP socket.
void BM_UdpConnectRouteLookup(benchmark::State& state)
{
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(9);
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    for (auto _ : state) {
        int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        bool routed = ::connect(fd, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0;
        sockaddr_in local{};
        socklen_t length = sizeof local;
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length);
        ::close(fd);
        benchmark::DoNotOptimize(routed);
        benchmark::DoNotOptimize(local);
    }
}
BENCHMARK(BM_UdpConnectRouteLookup);

void BM_LinuxFlagsForDefaultRoute(benchmark::State& state)
{
    LinuxFlagsProvider provider;
    auto handle = provider.createWithAddress(SocketAddressIPv4::make({0, 0, 0, 0}));
    for (auto _ : state)
        benchmark::DoNotOptimize(handle->getFlags());
}
BENCHMARK(BM_LinuxFlagsForDefaultRoute);

// Peer: the default route from /proc/net/route, then its interface's flags.
void BM_ProcNetRouteDefaultRoute(benchmark::State& state)
{
    for (auto _ : state) {
        unsigned flags = 0;
        if (FILE* routes = std::fopen("/proc/net/route", "r")) {
            char line[256];
            char name[IFNAMSIZ + 1];
            unsigned destination = 1;
            unsigned mask = 1;
            while (std::fgets(line, sizeof line, routes)) {
                if (std::sscanf(line, "%16s %x %*x %*x %*d %*d %*d %x", name, &destination, &mask) == 3
                    && destination == 0 && mask == 0) {
                    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
                    ifreq request{};
                    std::snprintf(request.ifr_name, IFNAMSIZ, "%.*s", IFNAMSIZ - 1, name);
                    if (::ioctl(fd, SIOCGIFFLAGS, &request) == 0)
                        flags = static_cast<unsigned short>(request.ifr_flags);
                    ::close(fd);
                    break;
                }
            }
            std::fclose(routes);
        }
        benchmark::DoNotOptimize(flags);
    }
}
BENCHMARK(BM_ProcNetRouteDefaultRoute);

void BM_InternetConnectionStatusLinux(benchmark::State& state)
{
    Reachability reachability(std::make_shared<LinuxFlagsProvider>());
    for (auto _ : state)
        benchmark::DoNotOptimize(reachability.internetConnectionStatus());
}
BENCHMARK(BM_InternetConnectionStatusLinux);

void BM_InternetConnectionStatusSetFlags(benchmark::State& state)
{
    auto provider = std::make_shared<TestFlagsProvider>();
    provider->setFlags("0.0.0.0", ReachabilityFlag::Reachable);
    Reachability reachability(provider);
    for (auto _ : state)
        benchmark::DoNotOptimize(reachability.internetConnectionStatus());
}
BENCHMARK(BM_InternetConnectionStatusSetFlags);

} // namespace

BENCHMARK_MAIN();
