// Fuzzes the naming of downloads after their URLs: whatever name is accepted must be
// a plain file inside the folder (not empty, not "." or "..", no '/' or NUL), so
// that joining it to a folder can never point elsewhere.
#include <waterline/http/DownloadFileName.h>

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace waterline;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    static const auto base = URL::parse("http://a.example/files/");
    auto url = URL::parse(text);
    if (!url)
        url = base->resolve(text);
    if (!url)
        return 0;
    auto name = downloadFileNameForURL(*url);
    if (!name)
        return 0;
    const std::string& accepted = name.value();
    if (accepted.empty() || accepted == "." || accepted == ".." || accepted.find('/') != std::string::npos
        || accepted.find('\0') != std::string::npos)
        std::abort();
    return 0;
}
