#include <waterline/capture/CameraDevices.h>

#include <waterline/capture/SyntheticCamera.h>
#include <waterline/capture/V4L2Camera.h>

#include <algorithm>
#include <charconv>
#include <cstdio>

namespace waterline {

namespace {

// The number of a node named videoN; none for any other name.
std::optional<int> videoNodeNumber(const std::string& fileName)
{
    constexpr std::string_view prefix = "video";
    if (fileName.size() <= prefix.size() || fileName.compare(0, prefix.size(), prefix) != 0)
        return std::nullopt;
    int number = 0;
    const char* first = fileName.data() + prefix.size();
    const char* last = fileName.data() + fileName.size();
    auto [end, error] = std::from_chars(first, last, number);
    if (error != std::errc{} || end != last)
        return std::nullopt;
    return number;
}

} // namespace

CameraDevices::CameraDevices(std::optional<int> syntheticCount, std::filesystem::path deviceDirectory)
    : m_syntheticCount(syntheticCount)
    , m_deviceDirectory(std::move(deviceDirectory))
{
    if (m_syntheticCount)
        m_syntheticCount = std::clamp(*m_syntheticCount, 0, kMaxSyntheticCameras);
}

std::vector<CameraDescription> CameraDevices::list() const
{
    std::vector<CameraDescription> devices;
    if (m_syntheticCount && *m_syntheticCount == 0)
        return devices;
    for (int index = 0; index < m_syntheticCount.value_or(0); ++index)
        devices.push_back({"CAM " + std::to_string(index), {}, index});
    auto real = realDevices();
    devices.insert(devices.end(), real.begin(), real.end());
    return devices;
}

std::vector<CameraDescription> CameraDevices::realDevices() const
{
    std::vector<std::pair<int, std::filesystem::path>> nodes;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(m_deviceDirectory, error)) {
        if (auto number = videoNodeNumber(entry.path().filename().string()))
            nodes.emplace_back(*number, entry.path());
    }
    std::sort(nodes.begin(), nodes.end());

    std::vector<CameraDescription> devices;
    for (const auto& [number, node] : nodes) {
        // Metadata and output nodes of the same camera are skipped here.
        if (auto name = V4L2Camera::probe(node))
            devices.push_back({*name, node, -1});
    }
    return devices;
}

std::unique_ptr<CameraDevice> CameraDevices::open(int index) const
{
    auto devices = list();
    if (index < 0 || index >= static_cast<int>(devices.size()))
        return nullptr;
    const auto& description = devices[static_cast<std::size_t>(index)];
    if (description.syntheticIndex >= 0)
        return std::make_unique<SyntheticCamera>(description.syntheticIndex);
    auto camera = V4L2Camera::open(description.node);
    if (!camera) {
        std::fprintf(stderr, "capture: %s\n", camera.error()->localizedDescription().c_str());
        return nullptr;
    }
    return camera.releaseValue();
}

} // namespace waterline
