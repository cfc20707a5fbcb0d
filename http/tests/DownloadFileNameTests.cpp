// Names of downloads taken from their URLs: accepted names, and refused ones with
// their reasons.
#include "RequestTestSupport.h"

#include <waterline/http/DownloadFileName.h>

using namespace waterline;
using namespace waterline::test;

TEST(DownloadFileName, TakesTheDecodedLastSegmentOrSaysWhyNot)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"http://h/files/a%20b.iso?x=1#top", "a b.iso"},
        {"http://h/report", "report"},
        {"http://h/..%2e", "..."},
        {"http://h/", "error: its path ends without a file name"},
        {"http://h", "error: its path ends without a file name"},
        {"http://h/x/%2E%2e", "error: '..' is not a file name"},
        {"http://h/x/%2e", "error: '.' is not a file name"},
        {"http://h/..%2F..%2Fetc%2Fpasswd", "error: its file name would leave the output folder"},
        {"http://h/a%00b", "error: its file name holds a NUL byte"},
    };
    for (const auto& [text, expected] : cases) {
        auto name = downloadFileNameForURL(urlFrom(text));
        EXPECT_EQ(name ? name.value() : "error: " + name.error()->localizedDescription(), expected) << text;
    }
}
