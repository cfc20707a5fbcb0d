// The helper functions a proxy auto-configuration script may call, installed as
// globals of a script engine: isPlainHostName, dnsDomainIs, localHostOrDomainIs,
// isResolvable, isInNet, dnsResolve, myIpAddress, dnsDomainLevels, shExpMatch,
// weekdayRange, dateRange, timeRange, and alert (which does nothing).
#pragma once

#include <optional>
#include <string>

struct duk_hthread;

namespace waterline {

// Must run inside a protected call: it may raise an engine error (out of memory).
void installPACFunctions(duk_hthread* context);

// The first IPv4 address of `host` in dotted form ("localhost" -> "127.0.0.1"), or
// none when it has none. An address is returned as it is.
std::optional<std::string> resolveIPv4(const std::string& host);

// The first IPv4 address of a network interface that is up and not a loopback one,
// else "127.0.0.1".
std::string primaryIPv4Address();

// Whether `host` (a name or a dotted address) lies in the network `pattern`/`mask`.
bool isInNet(const std::string& host, const std::string& pattern, const std::string& mask);

} // namespace waterline
