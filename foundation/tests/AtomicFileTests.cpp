#include <waterline/foundation/AtomicFile.h>
#include <waterline/foundation/TemporaryPath.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

using namespace waterline;
namespace fs = std::filesystem;

namespace {

class AtomicFileTest : public testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(folder);
        std::ofstream(target) << "old";
    }
    void TearDown() override { fs::remove_all(folder); }

    static std::string contents(const fs::path& path)
    {
        std::ifstream file(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }
    std::size_t entries() const { return std::distance(fs::directory_iterator(folder), fs::directory_iterator()); }

    static std::span<const std::uint8_t> bytes(std::string_view text)
    {
        return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
    }

    fs::path folder = temporaryFilePath();
    fs::path target = folder / "out.bin";
};

} // namespace

TEST_F(AtomicFileTest, PiecesAndAPatchedHeaderReplaceTheTargetOnlyOnCommit)
{
    auto file = AtomicFile::create(target, {.permissions = 0644, .durable = false});
    ASSERT_TRUE(file) << file.error()->localizedDescription();
    ASSERT_TRUE(file->write(bytes("size????")));
    ASSERT_TRUE(file->write(bytes("payload")));
    EXPECT_EQ(file->size(), 15u);
    ASSERT_TRUE(file->writeAt(4, bytes("0015")));
    EXPECT_FALSE(file->writeAt(14, bytes("xx"))); // past what was written
    EXPECT_EQ(contents(target), "old");
    EXPECT_EQ(entries(), 2u);
    ASSERT_TRUE(file->commit());
    EXPECT_EQ(contents(target), "size0015payload");
    EXPECT_EQ(entries(), 1u);
    EXPECT_FALSE(file->write(bytes("late"))); // nothing left to write to
}

TEST_F(AtomicFileTest, AFileGivenUpLeavesTheTargetAndNoTemporaryFile)
{
    {
        auto file = AtomicFile::create(target);
        ASSERT_TRUE(file);
        ASSERT_TRUE(file->write(bytes("half a picture")));
    }
    EXPECT_EQ(contents(target), "old");
    EXPECT_EQ(entries(), 1u);
    EXPECT_FALSE(AtomicFile::create(folder / "no such folder" / "out.bin"));
}
