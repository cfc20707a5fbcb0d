#include <waterline/reachability/NetStatus.h>

namespace waterline {

std::string_view toString(NetStatus status)
{
    switch (status) {
    case NetStatusUnreachable:
        return "NetStatusUnreachable";
    case NetStatusViaWWAN:
        return "NetStatusViaWWAN";
    case NetStatusViaWiFi:
        return "NetStatusViaWiFi";
    }
    return "NetStatusUnknown";
}

} // namespace waterline
