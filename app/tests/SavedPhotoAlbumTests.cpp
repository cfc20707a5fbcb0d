#include "ScratchDirectory.h"

#include <waterline/app/SavedPhotoAlbum.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <vector>

#include <csignal>

#include <sys/resource.h>
#include <unistd.h>

using namespace waterline;

namespace {

std::vector<std::uint8_t> contents(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(SavedPhotoAlbum, NeverOverwritesAndNumbersTheNextName)
{
    apptest::ScratchDirectory scratch;
    SavedPhotoAlbum album(scratch / "Pictures" / "Waterline");
    const std::time_t when = 1'700'000'000;
    const std::string base = SavedPhotoAlbum::baseName(when);
    std::vector<std::uint8_t> first{1, 2, 3}, second{4, 5}, third{6};

    auto a = album.save(first, when);
    auto b = album.save(second, when);
    auto c = album.save(third, when);
    ASSERT_TRUE(a) << a.error()->localizedDescription();
    ASSERT_TRUE(b) << b.error()->localizedDescription();
    ASSERT_TRUE(c) << c.error()->localizedDescription();
    EXPECT_EQ(a->filename(), base + ".jpg");
    EXPECT_EQ(b->filename(), base + " 2.jpg");
    EXPECT_EQ(c->filename(), base + " 3.jpg");
    EXPECT_EQ(contents(*a), first);
    EXPECT_EQ(contents(*b), second);
    EXPECT_EQ(contents(*c), third);
}

TEST(SavedPhotoAlbum, AFailedSaveSaysWhyAndLeavesNothing)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write anywhere";
    apptest::ScratchDirectory scratch;
    std::filesystem::create_directory(scratch / "locked");
    std::filesystem::permissions(scratch / "locked",
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    auto saved = SavedPhotoAlbum(scratch / "locked").save(std::vector<std::uint8_t>{1});
    ASSERT_FALSE(saved);
    std::string reason = saved.error()->localizedDescription();
    EXPECT_NE(reason.find("Permission denied"), std::string::npos) << reason;
}

TEST(SavedPhotoAlbum, AFileInTheWayOfTheFolderIsReported)
{
    apptest::ScratchDirectory scratch;
    std::ofstream(scratch / "Waterline") << "not a folder";
    auto saved = SavedPhotoAlbum(scratch / "Waterline").save(std::vector<std::uint8_t>{1});
    ASSERT_FALSE(saved);
    std::string reason = saved.error()->localizedDescription();
    EXPECT_EQ(reason.rfind("Cannot create the album folder", 0), 0u) << reason;
}

TEST(SavedPhotoAlbum, ASymlinkInTheWayIsNeverFollowed)
{
    apptest::ScratchDirectory scratch;
    const std::time_t when = 1'700'000'000;
    std::filesystem::create_symlink("/dev/full", scratch / (SavedPhotoAlbum::baseName(when) + ".jpg"));
    auto saved = SavedPhotoAlbum(scratch.path()).save(std::vector<std::uint8_t>{1}, when);
    ASSERT_TRUE(saved) << saved.error()->localizedDescription();
    EXPECT_EQ(saved->filename(), SavedPhotoAlbum::baseName(when) + " 2.jpg");
}

TEST(SavedPhotoAlbum, AWriteThatFailsIsReportedAndLeavesNoPartialFile)
{
    // The kernel refuses writes past the file-size limit with EFBIG (SIGXFSZ ignored).
    apptest::ScratchDirectory scratch;
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    auto previousHandler = signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 16;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const std::time_t when = 1'700'000'000;
    auto result = SavedPhotoAlbum(scratch.path()).save(std::vector<std::uint8_t>(4096, 7), when);
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previousHandler);

    ASSERT_FALSE(result);
    std::string reason = result.error()->localizedDescription();
    EXPECT_EQ(reason,
              "Cannot write " + (scratch.path() / (SavedPhotoAlbum::baseName(when) + ".jpg")).string()
                  + ": File too large.");
    EXPECT_TRUE(std::filesystem::is_empty(scratch.path()));
}
