// The screen's camera flows: starting capture on the current camera, switching to the
// other one, the flash button, and stopping capture when the album opens. The capture
// session and the frame pipeline come from the capture layer; this file decides when
// they run and moves the controls between the idle and the capturing mode.
#include <waterline/app/ViewController.h>

#include <waterline/capture/CameraDevices.h>
#include <waterline/capture/CameraPipeline.h>
#include <waterline/capture/CaptureSession.h>
#include <waterline/effect/FrameChain.h>
#include <waterline/foundation/MainThread.h>
#include <waterline/ui/Button.h>
#include <waterline/ui/Slider.h>
#include <waterline/ui/View.h>

#include <cstdio>

namespace waterline {

void ViewController::camerabtnclicked()
{
    camerabtn->setEnabled(false);
    initCapture();
}

std::unique_ptr<CameraDevice> ViewController::openCamera(std::int32_t index) const
{
    // An environment that gives only a count (as tests do) gets that many synthetic cameras.
    if (m_environment.cameraDevices)
        return m_environment.cameraDevices->open(index);
    return CameraDevices(m_environment.cameraCount).open(index);
}

void ViewController::initCapture()
{
    auto camera = openCamera(m_effect->cameraid);
    flashbtn->setSelected(false);
    flashbtn->setHidden(true);
    if (!camera) {
        std::fprintf(stderr, "capture: camera %d cannot be opened\n", static_cast<int>(m_effect->cameraid));
        leaveCameraMode();
        return;
    }
    if (camera->hasTorch() && camera->hasFlash()) {
        flashbtn->setHidden(false);
        camera->setTorchMode(TorchMode::Off);
        camera->setFlashMode(FlashMode::Off);
    }

    if (!m_cameraPipeline)
        m_cameraPipeline = std::make_unique<CameraPipeline>(*m_effect, [this](std::shared_ptr<Picture> picture) {
            setDisplayedImage(std::move(picture));
            // A chain that ended (on an unscalable album photo) would never show the
            // camera's reflection; a new picture starts it again, as an album pick does.
            // (During teardown the chain is gone while a last frame may still land.)
            if (m_frameChain && !m_frameChain->isRunning())
                m_frameChain->loadnewimage_camera();
        });
    auto session = std::make_unique<CaptureSession>(
        std::move(camera),
        [pipeline = m_cameraPipeline.get()](const PixelBuffer& frame) { pipeline->captureOutput(frame); });
    std::weak_ptr<bool> alive = m_alive;
    session->onDeviceEnded = [this, alive](const std::string&) {
        performOnMainThread(
            [this, alive] {
                // A camera unplugged mid-capture: back to idle, with the camera button
                // usable for a retry. A session started since is running and stays.
                if (alive.lock() && m_effect->cameraing && _captureSession && !_captureSession->isRunning())
                    leaveCameraMode();
            },
            /*wait=*/false);
    };
    // Storing the new session releases the previous one, which lets a frame it still
    // has in flight finish first.
    _captureSession = std::move(session);

    camerabtn->setEnabled(false);
    for (Slider* slider : {K1Slider, K2Slider, K3Slider, K4Slider})
        slider->setHidden(false);
    m_effect->cameraing = true;
    if (!_captureSession->startRunning()) {
        leaveCameraMode();
        return;
    }
    camecontrolview->setHidden(false);
    savebtn->setEnabled(true);
    sharebtn->setEnabled(true);
}

void ViewController::changecamerabtnclicked()
{
    if (m_environment.cameraCount < 2)
        return;
    // The old camera's session is stopped and drained before the id flips: a frame it
    // already queued reads the id to pick its turn, and must get its own camera's.
    _captureSession.reset();
    m_effect->cameraid = m_effect->cameraid == 0 ? 1 : 0;
    initCapture();
}

void ViewController::flashbtnclicked()
{
    // The button is shown only for a camera with a torch and a flash; it lights the torch
    // while selected, a steady light for the live picture.
    flashbtn->setSelected(!flashbtn->isSelected());
    if (_captureSession && _captureSession->device().hasTorch())
        _captureSession->device().setTorchMode(flashbtn->isSelected() ? TorchMode::On : TorchMode::Off);
}

void ViewController::stopCapture()
{
    if (!m_effect || !m_effect->cameraing)
        return;
    leaveCameraMode();
}

void ViewController::leaveCameraMode()
{
    m_effect->cameraing = false;
    if (_captureSession)
        _captureSession->stopRunning();
    m_effect->newimg_camera = false;
    if (camecontrolview)
        camecontrolview->setHidden(true);
    if (camerabtn)
        camerabtn->setEnabled(true);
}

} // namespace waterline
