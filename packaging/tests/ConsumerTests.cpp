// Builds a small program of another project against the libraries as `make install`
// leaves them, once through find_package and once through pkg-config, and runs it.
#include "Shell.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

using namespace waterline::packagingtest;

namespace {

const std::string kConsumerSource = WATERLINE_SOURCE_DIR "/packaging/consumer";

// Installs the libraries with prefix /opt/waterline, then moves the tree so that only
// paths relative to the installed files can work.
std::filesystem::path installLibraries(const ScratchFolder& scratch)
{
    auto installed = installComponent(scratch / "stage", "/opt/waterline", "development");
    EXPECT_EQ(installed.status, 0) << installed.output;
    auto moved = scratch / "libraries";
    std::filesystem::rename(scratch / "stage/opt/waterline", moved);
    return moved;
}

std::string readText(const std::filesystem::path& path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// A sanitizer build's archives call into the sanitizer's runtime, which a consumer
// built with its own ordinary flags does not link; building one proves nothing there.
#ifdef WATERLINE_SANITIZE
#define SKIP_UNDER_SANITIZERS() GTEST_SKIP() << "consumer programs do not link sanitizer-built archives"
#else
#define SKIP_UNDER_SANITIZERS() (void)0
#endif

} // namespace

TEST(Consumer, BuildsWithFindPackage)
{
    SKIP_UNDER_SANITIZERS();
    ScratchFolder scratch;
    auto prefix = installLibraries(scratch);
    auto build = (scratch / "build").string();
    auto configured = runShell("'" WATERLINE_CMAKE_COMMAND "' -S '" + kConsumerSource + "' -B '" + build
                               + "' -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH='" + prefix.string() + "'");
    ASSERT_EQ(configured.status, 0) << configured.output;
    auto built = runShell("'" WATERLINE_CMAKE_COMMAND "' --build '" + build + "'");
    ASSERT_EQ(built.status, 0) << built.output;

    auto echoed = runShell("'" + build + "/json-echo' '{\"a\": [1, true, null]}'");
    EXPECT_EQ(echoed.status, 0);
    EXPECT_EQ(echoed.output, "{\"a\":[1,true,null]}\n");
    auto measured = runShell("'" + build + "/jpeg-size'");
    EXPECT_EQ(measured.status, 0);
    EXPECT_EQ(measured.output, "40x30\n");
}

TEST(Consumer, AsksForALibraryThatIsNotInstalled)
{
    ScratchFolder scratch;
    auto prefix = installLibraries(scratch);
    std::filesystem::create_directory(scratch / "project");
    std::ofstream(scratch / "project/CMakeLists.txt") << "cmake_minimum_required(VERSION 3.25)\n"
                                                         "project(Wants LANGUAGES CXX)\n"
                                                         "find_package(Waterline REQUIRED COMPONENTS nonesuch)\n";
    auto configured = runShell("'" WATERLINE_CMAKE_COMMAND "' -S '" + (scratch / "project").string() + "' -B '"
                               + (scratch / "build").string() + "' -DCMAKE_PREFIX_PATH='" + prefix.string() + "'");
    EXPECT_NE(configured.status, 0);
    EXPECT_NE(configured.output.find("nonesuch"), std::string::npos) << configured.output;
}

TEST(Consumer, BuildsWithPkgConfig)
{
    SKIP_UNDER_SANITIZERS();
    ScratchFolder scratch;
    auto prefix = installLibraries(scratch);
    auto pkgConfig = "PKG_CONFIG_PATH='" + (prefix / "lib/pkgconfig").string() + "' pkg-config ";

    auto flags = runShell(pkgConfig + "--cflags --libs waterline-json");
    ASSERT_EQ(flags.status, 0) << flags.output;
    auto program = (scratch / "json-echo").string();
    auto built = runShell("c++ -std=c++20 -o '" + program + "' '" + kConsumerSource + "/json_echo.cpp' $(" + pkgConfig
                          + "--cflags --libs waterline-json)");
    ASSERT_EQ(built.status, 0) << built.output;
    auto echoed = runShell("'" + program + "' '[\"x\"]'");
    EXPECT_EQ(echoed.output, "[\"x\"]\n");

    // A static library's private needs come with --static: the image library's codecs.
    auto staticFlags = runShell(pkgConfig + "--static --libs waterline-image");
    ASSERT_EQ(staticFlags.status, 0) << staticFlags.output;
    for (const char* flag :
         {"-lwaterline_image", "-lwaterline_foundation", "-lpng", "-lexif", "-lturbojpeg", "-pthread"})
        EXPECT_NE(staticFlags.output.find(flag), std::string::npos) << flag << " in " << staticFlags.output;
}

TEST(Consumer, InstalledFilesDoNotNameTheBuildTree)
{
    ScratchFolder scratch;
    auto prefix = installLibraries(scratch);
    for (const auto& entry : std::filesystem::recursive_directory_iterator(prefix)) {
        auto extension = entry.path().extension();
        if (extension != ".cmake" && extension != ".pc" && extension != ".h")
            continue;
        auto text = readText(entry.path());
        EXPECT_EQ(text.find(WATERLINE_BINARY_DIR), std::string::npos) << entry.path();
        EXPECT_EQ(text.find(WATERLINE_SOURCE_DIR), std::string::npos) << entry.path();
        EXPECT_EQ(text.find("/opt/waterline"), std::string::npos) << entry.path();
    }
}
