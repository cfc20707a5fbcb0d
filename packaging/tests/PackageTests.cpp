// Builds the Debian packages as `make deb` does, and checks them: what they hold, that
// the application's package depends on the packages of the shared libraries its
// programs load, and that the programs run from an unpacked copy.
#include "Shell.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

using namespace waterline::packagingtest;

namespace {

std::set<std::string> lines(const std::string& text)
{
    std::set<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty())
            result.insert(line);
    }
    return result;
}

// The packages named in a Depends field, without versions or alternatives' bars.
std::set<std::string> dependedPackages(const std::string& depends)
{
    std::set<std::string> names;
    std::string name;
    bool inName = true;
    for (char c : depends + ",") {
        if (c == ',' || c == '|') {
            if (!name.empty())
                names.insert(name);
            name.clear();
            inName = true;
        } else if (c == ' ' && !name.empty()) {
            inName = false;
        } else if (c == '(') {
            inName = false;
        } else if (inName && c != ' ') {
            name += c;
        }
    }
    return names;
}

// The Debian packages that own the shared libraries `binary` names as needed (those it
// loads directly, which are what dpkg-shlibdeps answers for).
std::set<std::string> packagesOfLibraries(const std::string& binary)
{
    // ldd resolves each needed name to a path (the dynamic loader's line holds the path
    // alone); dpkg -S names its package (asked for the /usr path too, as /lib and
    // /usr/lib are one folder on merged systems).
    auto owners = runShell("for name in $(objdump -p '" + binary
                           + "' | awk '$1 == \"NEEDED\" {print $2}'); do"
                             " library=$(ldd '"
                           + binary
                           + "' | awk -v n=\"$name\" '$1 == n {print $3} $1 ~ (\"/\" n \"$\") {print $1}');"
                             " [ -n \"$library\" ] || { echo \"unresolved: $name\"; continue; };"
                             " dpkg -S \"$library\" 2>/dev/null || dpkg -S \"/usr$library\" 2>/dev/null"
                             " || dpkg -S \"$(realpath \"$library\")\" 2>/dev/null || echo \"unowned: $name\"; done"
                             " | sed 's/:[a-z0-9]*: .*//; s/: .*//' | sort -u");
    return lines(owners.output);
}

class DebianPackages : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_scratch = new ScratchFolder;
        auto made = runShell("cd '" WATERLINE_BINARY_DIR "' && '" WATERLINE_CPACK_COMMAND "' -G DEB -B '"
                             + s_scratch->path().string() + "'");
        ASSERT_EQ(made.status, 0) << made.output;
        for (const auto& entry : std::filesystem::directory_iterator(s_scratch->path())) {
            auto name = entry.path().filename().string();
            if (name.starts_with("waterline_") && name.ends_with(".deb"))
                s_application = entry.path();
            if (name.starts_with("waterline-dev_") && name.ends_with(".deb"))
                s_development = entry.path();
        }
    }
    static void TearDownTestSuite()
    {
        delete s_scratch;
        s_scratch = nullptr;
    }
    void SetUp() override
    {
        ASSERT_FALSE(s_application.empty()) << "no waterline_*.deb was made";
        ASSERT_FALSE(s_development.empty()) << "no waterline-dev_*.deb was made";
    }

    static ScratchFolder* s_scratch;
    static std::filesystem::path s_application;
    static std::filesystem::path s_development;
};

ScratchFolder* DebianPackages::s_scratch = nullptr;
std::filesystem::path DebianPackages::s_application;
std::filesystem::path DebianPackages::s_development;

} // namespace

TEST_F(DebianPackages, HoldTheProgramsTheirFilesAndTheLibraries)
{
    auto listed = runShell("dpkg-deb --fsys-tarfile '" + s_application.string() + "' | tar -t");
    ASSERT_EQ(listed.status, 0) << listed.output;
    auto files = lines(listed.output);
    for (const char* program : kPrograms) {
        EXPECT_TRUE(files.contains(std::string("./usr/bin/") + program)) << program;
        EXPECT_TRUE(files.contains(std::string("./usr/share/man/man1/") + program + ".1")) << program;
    }
    for (const char* file :
         {"./usr/share/waterline/tag.jpg", "./usr/share/waterline/Camera.png",
          "./usr/share/applications/waterline.desktop", "./usr/share/metainfo/com.example.waterline.metainfo.xml",
          "./usr/share/icons/hicolor/128x128/apps/waterline.png", "./usr/share/doc/waterline/LICENSE"})
        EXPECT_TRUE(files.contains(file)) << file;
    for (const auto& file : files)
        EXPECT_FALSE(file.starts_with("./usr/include") || file.starts_with("./usr/lib/")) << file;

    auto development = runShell("dpkg-deb --fsys-tarfile '" + s_development.string() + "' | tar -t");
    auto developmentFiles = lines(development.output);
    for (const char* file : {"./usr/lib/libwaterline_json.a", "./usr/include/waterline/json/VelJSON.h",
                             "./usr/include/waterline/Version.h", "./usr/lib/cmake/Waterline/WaterlineConfig.cmake",
                             "./usr/lib/pkgconfig/waterline-json.pc"})
        EXPECT_TRUE(developmentFiles.contains(file)) << file;
}

TEST_F(DebianPackages, DependOnThePackagesOfTheLibrariesTheProgramsLoad)
{
    auto field = runShell("dpkg-deb -f '" + s_application.string() + "' Depends");
    ASSERT_EQ(field.status, 0) << field.output;
    auto depends = dependedPackages(field.output);
    EXPECT_TRUE(depends.contains("fonts-dejavu-core")) << field.output;

    auto root = s_scratch->path() / "root";
    ASSERT_EQ(runShell("dpkg-deb -x '" + s_application.string() + "' '" + root.string() + "'").status, 0);
    for (const char* program : kPrograms) {
        for (const auto& package : packagesOfLibraries((root / "usr/bin" / program).string())) {
            EXPECT_FALSE(package.starts_with("unowned") || package.starts_with("unresolved"))
                << program << ": " << package;
            EXPECT_TRUE(depends.contains(package))
                << program << " loads a library of " << package << ", missing from Depends: " << field.output;
        }
    }
}

TEST_F(DebianPackages, ProgramsRunFromTheUnpackedPackage)
{
    auto root = s_scratch->path() / "unpacked";
    ASSERT_EQ(runShell("dpkg-deb -x '" + s_application.string() + "' '" + root.string() + "'").status, 0);
    auto elsewhere = s_scratch->path() / "elsewhere";
    std::filesystem::create_directories(elsewhere);
    std::ofstream(elsewhere / "script.txt") << "wait 200\nquit\n";
    auto ran = runShell("cd '" + elsewhere.string() + "' && env -u WATERLINE_RESOURCES '" + root.string()
                        + "/usr/bin/waterline' --offscreen --cameras 0 --photos photos --config-dir config"
                          " --script script.txt");
    EXPECT_EQ(ran.status, 0) << ran.output;
    EXPECT_EQ(ran.output.find("picture resource"), std::string::npos) << ran.output;

    for (const char* program : kPrograms) {
        auto version = runShell(quoted(root / "usr/bin" / program) + " --version");
        EXPECT_EQ(version.status, 0) << program;
        EXPECT_EQ(version.output, std::string(program) + " " WATERLINE_VERSION_TEXT "\n");
    }
}
