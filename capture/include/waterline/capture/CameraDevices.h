// The list of video capture devices, in the order the screen numbers them: camera 0 is
// treated as the back camera, camera 1 as the front one.
//
// Without a synthetic count the list holds the machine's V4L2 capture nodes, sorted by
// their number (/dev/video0, /dev/video2, /dev/video10), so the order survives a
// restart. With a count N > 0, N synthetic cameras come first and the real ones after
// them; with N = 0 the list is empty, hiding the real cameras too, which gives the
// "no camera" path on any machine.
//
//     CameraDevices devices(2);                 // waterline --cameras 2
//     auto camera = devices.open(1);            // the synthetic "CAM 1"
#pragma once

#include <waterline/capture/CameraDevice.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace waterline {

struct CameraDescription {
    std::string name;
    std::filesystem::path node; // empty for a synthetic camera
    int syntheticIndex = -1;    // the synthetic camera's index, -1 for a real one
};

class CameraDevices {
public:
    // The largest synthetic count honoured; a larger one is cut down to it.
    static constexpr int kMaxSyntheticCameras = 8;

    explicit CameraDevices(std::optional<int> syntheticCount = std::nullopt,
                           std::filesystem::path deviceDirectory = "/dev");

    // Looks the devices up afresh on every call: a camera may be plugged in or out.
    std::vector<CameraDescription> list() const;

    // The device at `index` of list(), opened; none when the index is out of range or
    // the device cannot be opened (the reason is logged).
    std::unique_ptr<CameraDevice> open(int index) const;

private:
    std::vector<CameraDescription> realDevices() const;

    std::optional<int> m_syntheticCount;
    std::filesystem::path m_deviceDirectory;
};

} // namespace waterline
