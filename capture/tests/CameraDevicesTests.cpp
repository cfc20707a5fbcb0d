#include <waterline/capture/CameraDevices.h>
#include <waterline/capture/SyntheticCamera.h>

#include <gtest/gtest.h>

#include <fstream>
#include <unistd.h>

namespace waterline {
namespace {

// A device directory with nodes named like cameras that are not cameras at all.
class FakeDeviceDirectory {
public:
    FakeDeviceDirectory()
    {
        m_path = std::filesystem::temp_directory_path() / ("capture-devices-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_path);
        for (const char* name : {"video0", "video10", "videoX", "null"})
            std::ofstream(m_path / name) << "not a device";
    }
    ~FakeDeviceDirectory() { std::filesystem::remove_all(m_path); }
    const std::filesystem::path& path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

TEST(CameraDevices, SyntheticCamerasComeFirstAndZeroHidesEveryCamera)
{
    FakeDeviceDirectory directory;
    struct Case {
        std::optional<int> synthetic;
        std::vector<std::string> names;
    };
    for (const auto& c : {Case{std::nullopt, {}}, Case{0, {}}, Case{1, {"CAM 0"}}, Case{2, {"CAM 0", "CAM 1"}}}) {
        CameraDevices devices(c.synthetic, directory.path());
        std::vector<std::string> names;
        for (const auto& device : devices.list())
            names.push_back(device.name);
        EXPECT_EQ(names, c.names) << c.synthetic.value_or(-1);
    }
}

TEST(CameraDevices, ZeroHidesTheRealCamerasToo)
{
    // Whatever this machine has, a count of 0 lists nothing.
    EXPECT_TRUE(CameraDevices(0).list().empty());
    EXPECT_EQ(CameraDevices(0).open(0), nullptr);
}

TEST(CameraDevices, OpensSyntheticCamerasByIndexAndNothingOutOfRange)
{
    FakeDeviceDirectory directory;
    CameraDevices devices(2, directory.path());
    auto back = devices.open(0);
    auto front = devices.open(1);
    ASSERT_TRUE(back && front);
    EXPECT_EQ(back->name(), "CAM 0");
    EXPECT_EQ(front->name(), "CAM 1");
    EXPECT_FALSE(back->hasTorch());
    EXPECT_TRUE(front->hasTorch() && front->hasFlash());
    EXPECT_EQ(devices.open(2), nullptr);
    EXPECT_EQ(devices.open(-1), nullptr);
}

TEST(CameraDevices, ClampsAnOversizedCount)
{
    FakeDeviceDirectory directory;
    EXPECT_EQ(CameraDevices(100, directory.path()).list().size(),
              static_cast<std::size_t>(CameraDevices::kMaxSyntheticCameras));
}

} // namespace
} // namespace waterline
