// The main screen's controller: it builds the whole 768 × 1024 screen in viewDidLoad,
// owns the reflection effect's state and runs its frame chain, and carries every flow of
// the screen — the camera check, photo picking, save and share, and the two prompts.
//
// The views live in the window's view tree (the root view owns them); the controller
// keeps plain pointers to them and takes them down itself when it is destroyed, in the
// order sliders, pixel buffers, capture and popover, views. Everything runs on the main
// thread; the work that may take long (decoding thumbnails, writing the saved photo,
// asking the desktop for a mail client) runs on a background queue and reports back
// through the main run loop.
#pragma once

#include <waterline/app/AlertTexts.h>
#include <waterline/app/PhotoLibrary.h>
#include <waterline/capture/CameraDevices.h>
#include <waterline/capture/CameraPipeline.h>
#include <waterline/capture/CaptureSession.h>
#include <waterline/effect/EffectScreen.h>
#include <waterline/effect/EffectState.h>
#include <waterline/effect/Picture.h>
#include <waterline/foundation/Geometry.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace waterline {

class AlertView;
class Button;
class ImageView;
class Popover;
class SerialQueue;
class Slider;
class Timer;
class UserDefaults;
class View;
class Window;
class FrameChain;

// The photo handed over by the picker: the picture (possibly decoded at a reduced
// scale) and the photo's own upright size in points, which the target size is
// computed from.
struct PickedPhoto {
    std::shared_ptr<Picture> originalImage;
    SizeF size;
};

class ViewController final : public EffectScreen {
public:
    struct Environment {
        UserDefaults* defaults = nullptr;        // the store the prompts remember answers in
        std::filesystem::path picturesDirectory; // the photo library
        int cameraCount = 0;                     // what the camera check finds
        // The cameras capture opens; empty: cameraCount synthetic cameras.
        std::shared_ptr<const CameraDevices> cameraDevices;
        // Opens a link in the desktop's handler; empty: xdg-open.
        std::function<void(const std::string& url)> openURL;
    };

    // Delays of the two prompts after start-up, in seconds.
    static constexpr double kRatePromptDelay = 90;
    static constexpr double kMorePromptDelay = 0.5;
    static constexpr float kSavedJPEGQuality = 0.92f;

    ViewController(Window&, Environment);
    ~ViewController() override;
    ViewController(const ViewController&) = delete;
    ViewController& operator=(const ViewController&) = delete;

    void viewDidLoad();
    // Portrait (1) and upside-down portrait (2) only.
    static bool shouldAutorotateToInterfaceOrientation(int orientation);

    // Camera (ViewControllerCamera.cpp): a capture session of the capture layer feeds
    // the picture view; the album button stops it through stopCapture().
    void camerabtnclicked();
    void initCapture();
    void changecamerabtnclicked();
    void flashbtnclicked();
    void stopCapture();
    CaptureSession* captureSession() const { return _captureSession.get(); }

    // Photo library.
    void albumbtnclicked();
    void imagePickerController(const PickedPhoto& info); // didFinishPickingMediaWithInfo
    void imagePickerControllerDidCancel();

    // Save and share.
    void savebtnclicked();
    void sharebtnclicked();

    // Prompts and the alert delegate.
    void showratedialog();
    void gotorate();
    void showmoredlg();
    void gotomore();
    void alertView(AlertView&, int buttonIndex); // didDismissWithButtonIndex

    // What the frame chain reads from and shows on the screen.
    std::shared_ptr<Picture> displayedPicture() const override { return m_displayedPicture; }
    void setDisplayedPictureFrame(RectF frame) override;
    void setWaterPicture(std::shared_ptr<Picture> water) override;
    EffectSliderValues sliderValues() const override;

    // The picture that Save and Share hand out now: the screen's picture above its
    // reflection; none when there is no reflection to show.
    std::shared_ptr<Picture> composedPicture() const;

    // The effect's state and the screen's parts, for the capture layer and for tests.
    EffectState& effect() { return *m_effect; }
    FrameChain& frameChain() { return *m_frameChain; }
    ImageView& displayImageView() { return *_displayiamgeview; }
    ImageView& waterImageView() { return *_wateriamgeview; }
    View& topControlView() { return *topcontrolview; }
    View& cameraControlView() { return *camecontrolview; }
    Button& albumButton() { return *albumbtn; }
    Button& cameraButton() { return *camerabtn; }
    Button& saveButton() { return *savebtn; }
    Button& shareButton() { return *sharebtn; }
    Button& changeCameraButton() { return *changecamerabtn; }
    Button& flashButton() { return *flashbtn; }
    // K1 … K4 by number; std::out_of_range for another k or before viewDidLoad.
    Slider& slider(int k);
    Popover* albumpopoverController() const { return m_albumpopoverController.get(); }
    // The water picture on display (the view holds only its pixels).
    const std::shared_ptr<Picture>& waterPicture() const { return m_waterPicture; }
    bool hasPendingRatePrompt() const;
    bool hasPendingMorePrompt() const;
    const PhotoLibrary& photoLibrary() const { return m_photoLibrary; }
    // Runs `done` on the main thread once the background work queued so far has finished.
    void whenBackgroundWorkDone(std::function<void()> done);

    // Puts a picture on the picture view (none empties it), through the main thread,
    // waiting until it is shown. Safe from any thread.
    void setDisplayedImage(std::shared_ptr<Picture>);

private:
    // Who hears which button dismissed an alert: nobody, or alertView() here.
    enum class AlertDelegate { None, Controller };

    void buildViews();
    void buildSliders();
    void placeBottomRow();
    void checkCameras();
    void showInitialPicture();
    void schedulePrompts();

    Button& makeButton(View& parent, std::string_view picture, std::function<void()> action);
    AlertView& showAlert(const AlertText&, AlertDelegate);
    // Stores a prompt's answer; a store that cannot be written is reported once per run.
    void rememberAnswer(const std::string& key);
    void openURL(const std::string&);
    void enterPhotoMode();
    void presentPhotoPicker();
    void pickPhoto(const std::filesystem::path&);
    void loadThumbnails(const std::vector<std::filesystem::path>&);
    void dismissPicker();
    void writeSavedPhoto(std::shared_ptr<Picture>);
    void sendMail(std::shared_ptr<Picture>);
    std::unique_ptr<CameraDevice> openCamera(std::int32_t index) const;
    void leaveCameraMode();

    Window& m_window;
    Environment m_environment;
    PhotoLibrary m_photoLibrary;

    std::unique_ptr<Popover> m_albumpopoverController;
    View* topcontrolview = nullptr;
    Button* savebtn = nullptr;
    Button* albumbtn = nullptr;
    Button* sharebtn = nullptr;
    Button* camerabtn = nullptr;
    View* camecontrolview = nullptr;
    Button* changecamerabtn = nullptr;
    Button* flashbtn = nullptr;
    ImageView* _displayiamgeview = nullptr;
    ImageView* _wateriamgeview = nullptr;
    UserDefaults* defaultsetting = nullptr;
    bool m_reportedUnsavedAnswer = false;
    Slider* K1Slider = nullptr;
    Slider* K2Slider = nullptr;
    Slider* K3Slider = nullptr;
    Slider* K4Slider = nullptr;
    std::unique_ptr<EffectState> m_effect;
    std::unique_ptr<FrameChain> m_frameChain;

    std::shared_ptr<Picture> m_displayedPicture;
    std::shared_ptr<Picture> m_waterPicture;
    std::shared_ptr<Timer> m_ratePrompt;
    std::shared_ptr<Timer> m_morePrompt;
    // Set when the open picker is replaced or closed: its thumbnails are no longer wanted.
    std::shared_ptr<std::atomic<bool>> m_pickerSession;
    // Cleared at teardown so late background results find nobody to deliver to.
    std::shared_ptr<bool> m_alive;
    std::unique_ptr<SerialQueue> m_background;
    std::unique_ptr<CameraPipeline> m_cameraPipeline;
    std::unique_ptr<CaptureSession> _captureSession;
};

} // namespace waterline
