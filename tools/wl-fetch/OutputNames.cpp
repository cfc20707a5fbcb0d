#include "OutputNames.h"

#include <waterline/http/URL.h>

#include <filesystem>
#include <set>

namespace waterline::fetch {

namespace {

ErrorPtr refusal(const std::string& urlText, const std::string& reason)
{
    return Error::create("wl-fetch", 64, "cannot name a file after " + urlText + ": " + reason);
}

} // namespace

ErrorOr<std::string> outputFileNameForURL(const std::string& urlText)
{
    auto url = URL::parse(urlText);
    if (!url)
        return refusal(urlText, "not a URL");
    const std::string& path = url->path();
    std::string name = URL::percentDecode(path.substr(path.rfind('/') + 1));
    if (name.empty())
        return refusal(urlText, "its path ends without a file name");
    if (name == "." || name == "..")
        return refusal(urlText, "'" + name + "' is not a file name");
    if (name.find('/') != std::string::npos || name.find('\0') != std::string::npos)
        return refusal(urlText, "its file name would leave the output folder");
    return name;
}

ErrorOr<std::vector<std::optional<std::string>>> outputPathsFor(const FetchOptions& options)
{
    std::vector<std::optional<std::string>> paths(options.urls.size());
    if (!options.outputDir) {
        for (std::size_t i = 0; i < options.outputPaths.size(); ++i)
            paths[i] = options.outputPaths[i];
        return paths;
    }
    std::set<std::string> taken;
    for (std::size_t i = 0; i < options.urls.size(); ++i) {
        auto name = WL_TRY(outputFileNameForURL(options.urls[i]));
        if (!taken.insert(name).second)
            return refusal(options.urls[i], "another URL gives the same name, '" + name + "'");
        paths[i] = (std::filesystem::path(*options.outputDir) / name).string();
    }
    return paths;
}

} // namespace waterline::fetch
