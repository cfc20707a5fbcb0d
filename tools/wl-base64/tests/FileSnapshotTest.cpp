// Decoding reads a regular input twice; the snapshot taken before the first reading
// must tell a file changed in between, whether it grew or was rewritten in place.
#include "../FileSnapshot.h"

#include <waterline/foundation/FileDescriptor.h>
#include <waterline/foundation/FileIO.h>
#include <waterline/foundation/TemporaryPath.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace waterline;

class FileSnapshotTest : public testing::Test {
protected:
    void SetUp() override
    {
        m_path = temporaryFilePath();
        ASSERT_TRUE(writeFileAtomically(m_path, std::string_view("TWFu\n"), {.durable = false}));
        auto file = FileDescriptor::open(m_path, O_RDWR);
        ASSERT_TRUE(file) << file.error()->localizedDescription();
        m_file = file.releaseValue();
    }
    void TearDown() override { ::unlink(m_path.c_str()); }

    std::filesystem::path m_path;
    FileDescriptor m_file;
};

TEST_F(FileSnapshotTest, ReadingPassesGrowingFails)
{
    auto snapshot = FileSnapshot::take(m_file.get());
    ASSERT_TRUE(snapshot);
    std::uint8_t buffer[16];
    ASSERT_TRUE(readFull(m_file.get(), buffer));
    EXPECT_TRUE(snapshot->checkUnchanged(m_file.get()));
    ASSERT_EQ(::pwrite(m_file.get(), "TWFu\n", 5, 5), 5);
    auto checked = snapshot->checkUnchanged(m_file.get());
    ASSERT_FALSE(checked);
    EXPECT_EQ(checked.error()->localizedDescription(), "input file changed while reading");
}

TEST_F(FileSnapshotTest, FileRewrittenAtTheSameSizeFails)
{
    auto snapshot = FileSnapshot::take(m_file.get());
    ASSERT_TRUE(snapshot);
    ASSERT_EQ(::pwrite(m_file.get(), "TQ==\n", 5, 0), 5);
    // The write may land within the clock tick of the file's last change: set a
    // modification time that certainly differs, as a later tick would.
    const timespec later[2] = {{0, UTIME_OMIT}, {std::time(nullptr) + 60, 0}};
    ASSERT_EQ(::futimens(m_file.get(), later), 0);
    EXPECT_FALSE(snapshot->checkUnchanged(m_file.get()));
}

} // namespace
