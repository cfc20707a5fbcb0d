// Fuzzes the reading of PAC answers: every entry is either Direct without a host, or a
// proxy with a host that is safe to connect to by name and a port that is not 0
// unless written so.
#include <waterline/http/ProxyEntry.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace waterline;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const auto& entry : parsePACResult(text)) {
        if (entry.type == ProxyEntry::Type::Direct) {
            if (!entry.host.empty() || entry.port != 0)
                std::abort();
            continue;
        }
        if (entry.host.empty())
            std::abort();
        for (char c : entry.host)
            if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F || c == ';' || c == '/')
                std::abort();
    }
    return 0;
}
