// The PAC helper functions. Those that need the system (name resolution, interface
// addresses, shell patterns) are native; the others are plain script.
#include "PACFunctions.h"

#include <arpa/inet.h>
#include <duktape.h>
#include <fnmatch.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>

namespace waterline {

namespace {

std::optional<in_addr> parseIPv4(const std::string& text)
{
    in_addr address{};
    if (inet_pton(AF_INET, text.c_str(), &address) != 1)
        return std::nullopt;
    return address;
}

std::string dottedText(const in_addr& address)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

std::string stringArgument(duk_context* context, duk_idx_t index)
{
    return duk_safe_to_string(context, index);
}

void pushOptionalString(duk_context* context, const std::optional<std::string>& text)
{
    if (text)
        duk_push_lstring(context, text->data(), text->size());
    else
        duk_push_null(context);
}

duk_ret_t dnsResolveFunction(duk_context* context)
{
    pushOptionalString(context, resolveIPv4(stringArgument(context, 0)));
    return 1;
}

duk_ret_t myIpAddressFunction(duk_context* context)
{
    pushOptionalString(context, primaryIPv4Address());
    return 1;
}

duk_ret_t isInNetFunction(duk_context* context)
{
    duk_push_boolean(context,
                     isInNet(stringArgument(context, 0), stringArgument(context, 1), stringArgument(context, 2)));
    return 1;
}

// A shell expression: '*' and '?' match any characters, '[...]' a set.
duk_ret_t shExpMatchFunction(duk_context* context)
{
    const auto text = stringArgument(context, 0);
    const auto pattern = stringArgument(context, 1);
    duk_push_boolean(context, fnmatch(pattern.c_str(), text.c_str(), 0) == 0);
    return 1;
}

duk_ret_t alertFunction(duk_context*)
{
    return 0;
}

// The helpers that need nothing but the language. The date functions take an optional
// last argument "GMT"; a range whose start lies after its end wraps around (FRI to
// MON, OCT to MAR, 22 to 6 o'clock).
constexpr const char* kScriptHelpers = R"js(
function isPlainHostName(host) {
    return String(host).indexOf('.') === -1;
}
function dnsDomainIs(host, domain) {
    host = String(host).toLowerCase();
    domain = String(domain).toLowerCase();
    return host.length >= domain.length && host.substring(host.length - domain.length) === domain;
}
function localHostOrDomainIs(host, hostdom) {
    host = String(host).toLowerCase();
    hostdom = String(hostdom).toLowerCase();
    return host === hostdom || (host.indexOf('.') === -1 && hostdom.indexOf(host + '.') === 0);
}
function isResolvable(host) {
    return dnsResolve(host) !== null;
}
function dnsDomainLevels(host) {
    return String(host).split('.').length - 1;
}
var __pacDays = ['SUN', 'MON', 'TUE', 'WED', 'THU', 'FRI', 'SAT'];
var __pacMonths = ['JAN', 'FEB', 'MAR', 'APR', 'MAY', 'JUN', 'JUL', 'AUG', 'SEP', 'OCT', 'NOV', 'DEC'];
function __pacArguments(args) {
    var list = Array.prototype.slice.call(args);
    var gmt = list.length > 0 && String(list[list.length - 1]).toUpperCase() === 'GMT';
    if (gmt)
        list.pop();
    var now = new Date();
    return {
        list: list,
        day: gmt ? now.getUTCDate() : now.getDate(),
        weekday: gmt ? now.getUTCDay() : now.getDay(),
        month: gmt ? now.getUTCMonth() : now.getMonth(),
        year: gmt ? now.getUTCFullYear() : now.getFullYear(),
        seconds: gmt ? now.getUTCHours() * 3600 + now.getUTCMinutes() * 60 + now.getUTCSeconds()
                     : now.getHours() * 3600 + now.getMinutes() * 60 + now.getSeconds()
    };
}
function __pacInRange(value, from, to, wraps) {
    if (from <= to)
        return value >= from && value <= to;
    return wraps && (value >= from || value <= to);
}
function weekdayRange() {
    var a = __pacArguments(arguments);
    if (a.list.length < 1 || a.list.length > 2)
        return false;
    var from = __pacDays.indexOf(String(a.list[0]).toUpperCase());
    var to = a.list.length === 2 ? __pacDays.indexOf(String(a.list[1]).toUpperCase()) : from;
    return from >= 0 && to >= 0 && __pacInRange(a.weekday, from, to, true);
}
function __pacDateKey(fields, a) {
    var kinds = '', day = 0, month = 0, year = 0;
    for (var i = 0; i < fields.length; ++i) {
        var text = String(fields[i]);
        var named = __pacMonths.indexOf(text.toUpperCase());
        var number = /^[0-9]+$/.test(text) ? Number(text) : NaN;
        if (number >= 1 && number <= 31 && kinds === '') {
            kinds += 'd'; day = number;
        } else if (named >= 0 && kinds.indexOf('m') === -1 && kinds.indexOf('y') === -1) {
            kinds += 'm'; month = named + 1;
        } else if (number > 31 && kinds.indexOf('y') === -1) {
            kinds += 'y'; year = number;
        } else {
            return null;
        }
    }
    function key(d, m, y) {
        return (kinds.indexOf('y') >= 0 ? y * 10000 : 0) + (kinds.indexOf('m') >= 0 ? m * 100 : 0)
            + (kinds.indexOf('d') >= 0 ? d : 0);
    }
    return { kinds: kinds, key: key(day, month, year), today: key(a.day, a.month + 1, a.year) };
}
function dateRange() {
    var a = __pacArguments(arguments);
    var n = a.list.length;
    if (n < 1 || n > 6)
        return false;
    var half = n % 2 === 1 ? n : n / 2;
    var from = __pacDateKey(a.list.slice(0, half), a);
    var to = n % 2 === 1 ? from : __pacDateKey(a.list.slice(half), a);
    if (from === null || to === null || from.kinds !== to.kinds)
        return false;
    return __pacInRange(from.today, from.key, to.key, from.kinds.indexOf('y') === -1);
}
function timeRange() {
    var a = __pacArguments(arguments);
    var v = a.list.map(Number);
    for (var i = 0; i < v.length; ++i)
        if (isNaN(v[i]))
            return false;
    var h = Math.floor(a.seconds / 3600), m = Math.floor(a.seconds / 60) % 60;
    switch (v.length) {
    case 1: return h === v[0];
    case 2: return __pacInRange(h, v[0], v[1], true);
    case 4: return __pacInRange(h * 60 + m, v[0] * 60 + v[1], v[2] * 60 + v[3], true);
    case 6: return __pacInRange(a.seconds, v[0] * 3600 + v[1] * 60 + v[2], v[3] * 3600 + v[4] * 60 + v[5], true);
    default: return false;
    }
}
)js";

void installNative(duk_context* context, const char* name, duk_c_function function, duk_idx_t argumentCount)
{
    duk_push_c_function(context, function, argumentCount);
    duk_put_global_string(context, name);
}

} // namespace

std::optional<std::string> resolveIPv4(const std::string& host)
{
    if (parseIPv4(host))
        return host;
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* results = nullptr;
    if (host.empty() || getaddrinfo(host.c_str(), nullptr, &hints, &results) != 0 || !results)
        return std::nullopt;
    const auto address = reinterpret_cast<const sockaddr_in*>(results->ai_addr)->sin_addr;
    freeaddrinfo(results);
    return dottedText(address);
}

std::string primaryIPv4Address()
{
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0)
        return "127.0.0.1";
    std::string found = "127.0.0.1";
    for (auto* entry = interfaces; entry; entry = entry->ifa_next) {
        if (entry->ifa_addr && entry->ifa_addr->sa_family == AF_INET && (entry->ifa_flags & IFF_UP)
            && !(entry->ifa_flags & IFF_LOOPBACK)) {
            found = dottedText(reinterpret_cast<const sockaddr_in*>(entry->ifa_addr)->sin_addr);
            break;
        }
    }
    freeifaddrs(interfaces);
    return found;
}

bool isInNet(const std::string& host, const std::string& pattern, const std::string& mask)
{
    const auto hostAddress = resolveIPv4(host);
    const auto patternAddress = parseIPv4(pattern);
    const auto maskAddress = parseIPv4(mask);
    if (!hostAddress || !patternAddress || !maskAddress)
        return false;
    const auto address = parseIPv4(*hostAddress)->s_addr;
    return (address & maskAddress->s_addr) == (patternAddress->s_addr & maskAddress->s_addr);
}

void installPACFunctions(duk_context* context)
{
    installNative(context, "dnsResolve", dnsResolveFunction, 1);
    installNative(context, "myIpAddress", myIpAddressFunction, 0);
    installNative(context, "isInNet", isInNetFunction, 3);
    installNative(context, "shExpMatch", shExpMatchFunction, 2);
    installNative(context, "alert", alertFunction, DUK_VARARGS);
    duk_eval_string_noresult(context, kScriptHelpers);
}

} // namespace waterline
