#include <waterline/http/DownloadFileName.h>

namespace waterline {

namespace {

ErrorPtr refusal(const std::string& reason)
{
    return Error::create("DownloadFileName", 1, reason);
}

} // namespace

ErrorOr<std::string> downloadFileNameForURL(const URL& url)
{
    const std::string& path = url.path();
    std::string name = URL::percentDecode(std::string_view(path).substr(path.rfind('/') + 1));
    if (name.empty())
        return refusal("its path ends without a file name");
    if (name == "." || name == "..")
        return refusal("'" + name + "' is not a file name");
    if (name.find('/') != std::string::npos)
        return refusal("its file name would leave the output folder");
    if (name.find('\0') != std::string::npos)
        return refusal("its file name holds a NUL byte");
    return name;
}

} // namespace waterline
