#include <waterline/app/ViewController.h>

#include <waterline/app/AlertRouting.h>
#include <waterline/app/ProcessLauncher.h>
#include <waterline/app/ScreenLayout.h>
#include <waterline/app/StoreLinks.h>
#include <waterline/effect/FrameChain.h>
#include <waterline/foundation/MainThread.h>
#include <waterline/foundation/SerialQueue.h>
#include <waterline/foundation/Timer.h>
#include <waterline/settings/UserDefaults.h>
#include <waterline/ui/AlertView.h>
#include <waterline/ui/Button.h>
#include <waterline/ui/ImageView.h>
#include <waterline/ui/Popover.h>
#include <waterline/ui/Slider.h>
#include <waterline/ui/Window.h>

#include <cstdio>
#include <stdexcept>

namespace waterline {

ViewController::ViewController(Window& window, Environment environment)
    : m_window(window)
    , m_environment(std::move(environment))
    , m_photoLibrary(m_environment.picturesDirectory)
    , m_alive(std::make_shared<bool>(true))
    , m_background(std::make_unique<SerialQueue>("waterline.background"))
{
}

ViewController::~ViewController()
{
    // Nothing scheduled may reach a controller being taken down.
    for (auto* timer : {&m_ratePrompt, &m_morePrompt}) {
        if (*timer)
            (*timer)->invalidate();
    }
    if (m_pickerSession)
        m_pickerSession->store(true);
    m_frameChain.reset();
    m_alive.reset();
    m_background.reset(); // drains: results posted from here find m_alive gone

    View& root = m_window.rootView();
    for (Slider* slider : {K1Slider, K2Slider, K3Slider, K4Slider}) {
        if (slider)
            root.removeChild(*slider);
    }
    if (m_effect) {
        m_effect->originalimagedata.reset();
        m_effect->cameradata.reset();
    }
    stopCapture();
    _captureSession.reset(); // a frame still in flight finishes while the views exist
    m_albumpopoverController.reset();
    for (View* view : {static_cast<View*>(camecontrolview), topcontrolview, static_cast<View*>(_wateriamgeview),
                       static_cast<View*>(_displayiamgeview)}) {
        if (view)
            root.removeChild(*view);
    }
}

bool ViewController::shouldAutorotateToInterfaceOrientation(int orientation)
{
    return orientation == 1 || orientation == 2;
}

void ViewController::viewDidLoad()
{
    m_effect = std::make_unique<EffectState>();
    m_effect->cameraing = false;
    m_frameChain = std::make_unique<FrameChain>(*m_effect, *this);
    m_window.rootView().setBackgroundColor(Color::black());
    defaultsetting = m_environment.defaults ? m_environment.defaults : &UserDefaults::standard();

    buildViews();
    buildSliders();
    for (Slider* slider : {K1Slider, K2Slider, K3Slider, K4Slider})
        slider->setHidden(true);
    placeBottomRow();
    checkCameras();
    savebtn->setEnabled(false);
    sharebtn->setEnabled(false);
    camecontrolview->setHidden(true);
    showInitialPicture();
    schedulePrompts();
}

Button& ViewController::makeButton(View& parent, std::string_view picture, std::function<void()> action)
{
    auto& button = parent.add<Button>(Button::Custom);
    if (auto image = Picture::named(picture))
        button.setImage(image->sharedRaster(), ControlState::Normal);
    button.addTarget(std::move(action), ControlEvent::TouchUpInside);
    return button;
}

void ViewController::buildViews()
{
    View& root = m_window.rootView();
    _displayiamgeview = &root.add<ImageView>(ScreenLayout::kDisplayImageFrame);
    _displayiamgeview->setContentMode(ContentMode::Top);
    _displayiamgeview->setClipsToBounds(true);

    _wateriamgeview = &root.add<ImageView>(ScreenLayout::kWaterImageFrame);
    _wateriamgeview->setContentMode(ContentMode::Top);
    _wateriamgeview->setClipsToBounds(false);

    topcontrolview = &root.add<View>(ScreenLayout::kTopControlFrame);
    albumbtn = &makeButton(*topcontrolview, ScreenPictures::kAlbum, [this] { albumbtnclicked(); });
    camerabtn = &makeButton(*topcontrolview, ScreenPictures::kCamera, [this] { camerabtnclicked(); });
    savebtn = &makeButton(*topcontrolview, ScreenPictures::kSave, [this] { savebtnclicked(); });
    sharebtn = &makeButton(*topcontrolview, ScreenPictures::kShare, [this] { sharebtnclicked(); });

    camecontrolview = &root.add<View>(ScreenLayout::kCameraControlFrame);
    changecamerabtn
        = &makeButton(*camecontrolview, ScreenPictures::kChangeCamera, [this] { changecamerabtnclicked(); });
    changecamerabtn->setFrame(ScreenLayout::kChangeCameraButtonFrame);
    flashbtn = &makeButton(*camecontrolview, ScreenPictures::kFlashOff, [this] { flashbtnclicked(); });
    if (auto lit = Picture::named(ScreenPictures::kFlashOn))
        flashbtn->setImage(lit->sharedRaster(), ControlState::Selected);
    flashbtn->setFrame(ScreenLayout::kFlashButtonFrame);
}

void ViewController::buildSliders()
{
    View& root = m_window.rootView();
    auto make = [&](const SliderLayout& layout) {
        auto& slider = root.add<Slider>();
        slider.setMinimumValue(layout.minimum);
        slider.setMaximumValue(layout.maximum);
        slider.setValue(layout.value);
        if (layout.vertical)
            slider.setRotation(ScreenLayout::kVerticalSliderRotation);
        // After the turn, so the frame is the on-screen box.
        slider.setFrame(layout.frame);
        return &slider;
    };
    K1Slider = make(ScreenLayout::kK1Slider);
    K2Slider = make(ScreenLayout::kK2Slider);
    K3Slider = make(ScreenLayout::kK3Slider);
    K4Slider = make(ScreenLayout::kK4Slider);
}

void ViewController::placeBottomRow()
{
    albumbtn->setFrame(ScreenLayout::kAlbumButtonFrame);
    camerabtn->setFrame(ScreenLayout::kCameraButtonFrame);
    savebtn->setFrame(ScreenLayout::kSaveButtonFrame);
    sharebtn->setFrame(ScreenLayout::kShareButtonFrame);
}

void ViewController::checkCameras()
{
    m_effect->cameraid = 0;
    int cameras = m_environment.cameraCount;
    if (cameras == 0) {
        camerabtn->setEnabled(false);
        showAlert(AlertTexts::noCamera(), AlertDelegate::Controller);
    }
    if (cameras < 2)
        changecamerabtn->setHidden(true);
}

void ViewController::showInitialPicture()
{
    setDisplayedImage(Picture::named(ScreenPictures::kInitialPicture));
    m_effect->newimg_album = true;
    m_frameChain->loadnewimage_album();
}

void ViewController::schedulePrompts()
{
    std::weak_ptr<bool> alive = m_alive;
    if (!defaultsetting->boolForKey("rated")) {
        m_ratePrompt = performAfterDelay(kRatePromptDelay, [this, alive] {
            if (alive.lock())
                showratedialog();
        });
    }
    if (!defaultsetting->boolForKey("more")) {
        m_morePrompt = performAfterDelay(kMorePromptDelay, [this, alive] {
            if (alive.lock())
                showmoredlg();
        });
    }
}

bool ViewController::hasPendingRatePrompt() const
{
    return m_ratePrompt && m_ratePrompt->isValid();
}

bool ViewController::hasPendingMorePrompt() const
{
    return m_morePrompt && m_morePrompt->isValid();
}

Slider& ViewController::slider(int k)
{
    Slider* sliders[] = {K1Slider, K2Slider, K3Slider, K4Slider};
    if (k < 1 || k > 4 || !sliders[k - 1])
        throw std::out_of_range("ViewController::slider: no slider K" + std::to_string(k));
    return *sliders[k - 1];
}

void ViewController::setDisplayedImage(std::shared_ptr<Picture> picture)
{
    performOnMainThread(
        [this, picture = std::move(picture)] {
            m_displayedPicture = picture;
            _displayiamgeview->setImage(picture ? picture->sharedRaster() : nullptr);
        },
        /*wait=*/true);
}

void ViewController::setDisplayedPictureFrame(RectF frame)
{
    _displayiamgeview->setFrame(frame);
}

void ViewController::setWaterPicture(std::shared_ptr<Picture> water)
{
    _wateriamgeview->setImage(water ? water->sharedRaster() : nullptr);
    m_waterPicture = std::move(water);
}

EffectSliderValues ViewController::sliderValues() const
{
    return {K1Slider->value(), K2Slider->value(), K3Slider->value(), K4Slider->value()};
}

AlertView& ViewController::showAlert(const AlertText& text, AlertDelegate delegate)
{
    auto alert = std::make_unique<AlertView>(std::string(text.title), std::string(text.message),
                                             std::string(text.buttons.front()));
    for (std::size_t i = 1; i < text.buttons.size(); ++i)
        alert->addButtonWithTitle(std::string(text.buttons[i]));
    alert->setTag(text.tag);
    if (delegate == AlertDelegate::Controller) {
        std::weak_ptr<bool> alive = m_alive;
        alert->didDismissWithButtonIndex = [this, alive](AlertView& shown, int index) {
            if (alive.lock())
                alertView(shown, index);
        };
    }
    return m_window.show(std::move(alert));
}

void ViewController::openURL(const std::string& url)
{
    if (m_environment.openURL) {
        m_environment.openURL(url);
        return;
    }
    // Whether a handler takes the link is not reported, as with any opened link.
    if (auto launched = ProcessLauncher::launch({"xdg-open", url}); !launched)
        std::fprintf(stderr, "waterline: %s\n", launched.error()->localizedDescription().c_str());
}

// Prompts ------------------------------------------------------------------------------

void ViewController::showratedialog()
{
    showAlert(AlertTexts::rate(), AlertDelegate::Controller);
}

void ViewController::showmoredlg()
{
    showAlert(AlertTexts::more(), AlertDelegate::Controller);
}

void ViewController::gotorate()
{
    // Recorded before the link opens, so an accepted prompt stays accepted even when the
    // link goes nowhere.
    rememberAnswer("rated");
    openURL(StoreLinks::reviewLink());
}

void ViewController::gotomore()
{
    rememberAnswer("more");
    openURL(StoreLinks::companionLink());
}

void ViewController::rememberAnswer(const std::string& key)
{
    auto saved = defaultsetting->setBool(key, true);
    if (saved || m_reportedUnsavedAnswer)
        return;
    // The answer still holds for this run; only the next start will ask again.
    m_reportedUnsavedAnswer = true;
    const ErrorPtr& error = saved.error();
    std::string reason = error->localizedDescription();
    if (error->underlyingError())
        reason += ": " + error->underlyingError()->localizedDescription();
    std::fprintf(stderr, "waterline: the answer to the prompt will not be remembered: %s\n", reason.c_str());
}

void ViewController::alertView(AlertView& alert, int buttonIndex)
{
    switch (routeAlertDismissal(alert.tag(), buttonIndex)) {
    case AlertRoute::GoToRate:
        gotorate();
        break;
    case AlertRoute::GoToMore:
        gotomore();
        break;
    case AlertRoute::Nothing:
        break;
    }
}

} // namespace waterline
