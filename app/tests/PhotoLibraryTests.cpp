#include "ScratchDirectory.h"

#include <waterline/app/PhotoLibrary.h>

#include <gtest/gtest.h>

#include <fstream>

#include <stdlib.h>

using namespace waterline;

TEST(PhotoLibrary, ListsJPEGAndPNGNewestFirst)
{
    apptest::ScratchDirectory scratch;
    auto now = std::filesystem::file_time_type::clock::now();
    const std::pair<const char*, int> files[] = {
        {"old.jpg", 300}, {"new.PNG", 10}, {"middle.jpeg", 100}, {"notes.txt", 1}, {"raw.cr2", 2},
    };
    for (auto [name, ageSeconds] : files) {
        std::ofstream(scratch / name) << "x";
        std::filesystem::last_write_time(scratch / name, now - std::chrono::seconds(ageSeconds));
    }
    std::filesystem::create_directory(scratch / "Waterline");
    std::filesystem::create_directory(scratch / "folder.jpg");

    PhotoLibrary library(scratch.path());
    EXPECT_TRUE(library.isAvailable());
    EXPECT_EQ(library.albumDirectory(), scratch / "Waterline");
    auto photos = library.photos();
    ASSERT_EQ(photos.size(), 3u);
    EXPECT_EQ(photos[0].filename(), "new.PNG");
    EXPECT_EQ(photos[1].filename(), "middle.jpeg");
    EXPECT_EQ(photos[2].filename(), "old.jpg");
}

TEST(PhotoLibrary, AMissingFolderOrAFileIsNoLibrary)
{
    apptest::ScratchDirectory scratch;
    std::ofstream(scratch / "file") << "x";
    for (auto path : {scratch / "missing", scratch / "file"}) {
        PhotoLibrary library(path);
        EXPECT_FALSE(library.isAvailable()) << path;
        EXPECT_TRUE(library.photos().empty());
    }
}

TEST(PhotoLibrary, PicturesFolderComesFromTheEnvironmentThenUserDirsThenHome)
{
    apptest::ScratchDirectory scratch;
    std::string savedHome = getenv("HOME") ? getenv("HOME") : "";
    const char* savedConfig = getenv("XDG_CONFIG_HOME");
    std::string savedConfigValue = savedConfig ? savedConfig : "";
    std::filesystem::create_directory(scratch / "config");
    setenv("HOME", scratch.path().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (scratch / "config").c_str(), 1);
    unsetenv("XDG_PICTURES_DIR");

    EXPECT_EQ(PhotoLibrary::defaultPicturesDirectory(), scratch / "Pictures");
    std::ofstream(scratch / "config" / "user-dirs.dirs") << "# written by xdg-user-dirs-update\n"
                                                            "XDG_PICTURES_DIR=\"$HOME/Bilder\"\n";
    EXPECT_EQ(PhotoLibrary::defaultPicturesDirectory(), scratch / "Bilder");
    setenv("XDG_PICTURES_DIR", "/srv/photos", 1);
    EXPECT_EQ(PhotoLibrary::defaultPicturesDirectory(), std::filesystem::path("/srv/photos"));

    unsetenv("XDG_PICTURES_DIR");
    setenv("HOME", savedHome.c_str(), 1);
    if (savedConfig)
        setenv("XDG_CONFIG_HOME", savedConfigValue.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
}
