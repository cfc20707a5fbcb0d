// The public parsing corpus and the benchmark documents, read from the shared data that
// sits beside the source tree.
#include <waterline/json/VelJSON.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

using namespace waterline;
namespace fs = std::filesystem;

namespace {

const fs::path kSharedDir = fs::path(WATERLINE_SOURCE_DIR "/../shared");

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Files where this parser's own rules differ from the expectation in the file's name.
const std::map<std::string, std::string> kDeliberateDifferences = {
    // The comma between array elements is optional.
    {"n_array_1_true_without_comma.json", "the comma between elements is optional"},
    {"n_array_inner_array_no_comma.json", "the comma between elements is optional"},
    // The input ends at its first NUL; what follows is never read.
    {"n_multidigit_number_then_00.json", "the input ends at the NUL after 123"},
    // Vertical tab and form feed count as whitespace.
    {"n_structure_whitespace_formfeed.json", "form feed is whitespace"},
};

bool accepted(VelJSON& json, const std::string& text)
{
    std::optional<JsonValue> value = json.fragmentWithString(text);
    if (!value) {
        auto trace = json.errorTrace();
        EXPECT_TRUE(trace && !trace->empty()) << "a failure must say why";
        return false;
    }
    // Whatever is read must be written and read back unchanged.
    std::optional<std::string> written = json.stringWithFragment(*value);
    EXPECT_TRUE(written);
    if (written) {
        EXPECT_EQ(json.fragmentWithString(*written), value);
    }
    return true;
}

} // namespace

TEST(JsonCorpus, EveryFileGivesAValueOrAnError)
{
    const fs::path dir = kSharedDir / "json-test-suite" / "test_parsing";
    if (!fs::is_directory(dir))
        GTEST_SKIP() << "corpus not found at " << dir << " (shared data beside the clone)";
    VelJSON json;
    std::map<std::string, std::string> differences;
    int files = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        std::string name = entry.path().filename().string();
        bool wasAccepted = accepted(json, readFile(entry.path()));
        ++files;
        if ((name[0] == 'y' && !wasAccepted) || (name[0] == 'n' && wasAccepted))
            differences[name] = wasAccepted ? "accepted" : "refused";
    }
    EXPECT_GT(files, 300);
    for (const auto& [name, outcome] : differences)
        EXPECT_TRUE(kDeliberateDifferences.contains(name)) << name << " unexpectedly " << outcome;
    for (const auto& [name, reason] : kDeliberateDifferences)
        EXPECT_TRUE(differences.contains(name)) << name << " no longer differs (" << reason << ")";
}

TEST(JsonCorpus, BenchmarkDocumentsRoundTrip)
{
    const fs::path dir = kSharedDir / "bench-data" / "json";
    if (!fs::is_directory(dir))
        GTEST_SKIP() << "benchmark documents not found at " << dir;
    for (const char* name : {"twitter.json", "citm_catalog.json", "canada.json"}) {
        VelJSON json;
        std::optional<JsonValue> value = json.objectWithString(readFile(dir / name));
        ASSERT_TRUE(value) << name;
        for (bool humanReadable : {false, true}) {
            json.setHumanReadable(humanReadable);
            std::optional<std::string> written = json.stringWithObject(*value);
            ASSERT_TRUE(written) << name;
            EXPECT_EQ(json.objectWithString(*written), value) << name;
        }
    }
}
