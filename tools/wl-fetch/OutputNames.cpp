#include "OutputNames.h"

#include <waterline/http/DownloadFileName.h>

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
    auto name = downloadFileNameForURL(*url);
    if (!name)
        return refusal(urlText, name.error()->localizedDescription());
    return name.releaseValue();
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
