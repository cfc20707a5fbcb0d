#include <waterline/foundation/ErrorOr.h>
#include <waterline/foundation/FileDescriptor.h>
#include <waterline/foundation/FileIO.h>
#include <waterline/foundation/TemporaryPath.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace waterline;
namespace fs = std::filesystem;

namespace {

class FileIOTest : public testing::Test {
protected:
    void SetUp() override { fs::create_directories(folder); }
    void TearDown() override { fs::remove_all(folder); }

    static std::string contents(const fs::path& path)
    {
        std::ifstream file(path, std::ios::binary);
        std::stringstream text;
        text << file.rdbuf();
        return text.str();
    }
    std::size_t entries() const { return std::distance(fs::directory_iterator(folder), fs::directory_iterator()); }

    fs::path folder = temporaryFilePath();
};

ErrorOr<int> half(int n)
{
    if (n % 2)
        return Error::create("Test", 1, "odd");
    return n / 2;
}

ErrorOr<int> quarter(int n)
{
    int h = WL_TRY(half(n));
    return WL_TRY(half(h));
}

} // namespace

TEST(ErrorOrTest, TryPassesValuesAndReturnsTheFirstError)
{
    EXPECT_EQ(*quarter(12), 3);
    auto odd = quarter(6);
    ASSERT_TRUE(odd.isError());
    EXPECT_EQ(odd.error()->localizedDescription(), "odd");
    ErrorOr<void> fine;
    EXPECT_TRUE(fine);
    EXPECT_FALSE(ErrorOr<void>(Error::create("Test", 2, "no")));
}

TEST_F(FileIOTest, AtomicWriteReplacesTheFileAndLeavesNothingBehind)
{
    auto target = folder / "out.txt";
    ASSERT_TRUE(writeFileAtomically(target, std::string_view("first")));
    ASSERT_TRUE(writeFileAtomically(target, std::string_view("second"), {.permissions = 0600}));
    EXPECT_EQ(contents(target), "second");
    EXPECT_EQ(entries(), 1u);
    struct stat status {};
    ASSERT_EQ(::stat(target.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0600u);
}

TEST_F(FileIOTest, FailedAtomicWriteKeepsTheOldTarget)
{
    auto target = folder / "keep";
    fs::create_directory(target); // a directory where the file should go: rename fails
    auto result = writeFileAtomically(target, std::string_view("data"));
    ASSERT_TRUE(result.isError());
    EXPECT_NE(result.error()->localizedDescription().find(target.string()), std::string::npos);
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_EQ(entries(), 1u);
}

TEST_F(FileIOTest, AtomicWriteTakesANameAtTheFileSystemLimit)
{
    auto target = folder / std::string(255, 'n');
    ASSERT_TRUE(writeFileAtomically(target, std::string_view("x"))) << "temporary name too long";
    EXPECT_EQ(contents(target), "x");
    EXPECT_LE(temporarySiblingPrefix(folder / (std::string(200, 'a') + std::string(30, '\xc3') + "\xa9")).size(),
              255u - 7);
}

TEST_F(FileIOTest, ReadFileIsBoundedAndRefusesFolders)
{
    auto small = folder / "small";
    ASSERT_TRUE(writeFileAtomically(small, std::string_view("12345")));
    EXPECT_EQ(readFile(small, {.maxBytes = 5})->size(), 5u);
    EXPECT_TRUE(readFile(small, {.maxBytes = 4}).isError());
    auto endless = readFile("/dev/zero", {.maxBytes = 100000});
    ASSERT_TRUE(endless.isError());
    EXPECT_EQ(endless.error()->code(), EFBIG);
    auto directory = readFile(folder);
    ASSERT_TRUE(directory.isError());
    EXPECT_EQ(directory.error()->code(), EISDIR);
    EXPECT_EQ(readFile(folder / "missing").error()->code(), ENOENT);
}

TEST_F(FileIOTest, WriteAllReportsAFullDevice)
{
    auto full = FileDescriptor::open("/dev/full", O_WRONLY);
    ASSERT_TRUE(full);
    auto written = writeAll(full->get(), std::string_view("bytes"));
    ASSERT_TRUE(written.isError());
    EXPECT_EQ(written.error()->code(), ENOSPC);
}
