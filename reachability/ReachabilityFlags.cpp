#include <waterline/reachability/ReachabilityFlags.h>

namespace waterline {

std::string describeReachabilityFlags(ReachabilityFlags flags)
{
    struct Letter {
        ReachabilityFlags bit;
        const char* name;
    };
    static constexpr Letter kLetters[] = {
        {ReachabilityFlag::Reachable, "R"}, {ReachabilityFlag::ConnectionRequired, "N"},
        {ReachabilityFlag::IsDirect, "D"},  {ReachabilityFlag::TransientConnection, "T"},
        {ReachabilityFlag::IsWWAN, "W"},
    };
    std::string text;
    for (const auto& letter : kLetters) {
        if (!(flags & letter.bit))
            continue;
        if (!text.empty())
            text += '+';
        text += letter.name;
    }
    return text.empty() ? "none" : text;
}

} // namespace waterline
