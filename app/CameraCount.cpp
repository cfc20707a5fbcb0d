#include <waterline/app/CameraCount.h>

#include <waterline/capture/CameraDevices.h>

namespace waterline {

int countVideoDevices(std::optional<int> requested)
{
    return static_cast<int>(CameraDevices(requested).list().size());
}

} // namespace waterline
