// The photo library flow of the main screen: the album button opens a popover with a
// grid of the library's photos, newest first; a tap picks one, which is brought upright,
// fitted into the upper half of the screen and handed to the frame chain.
//
// Thumbnails are decoded on the background queue at a reduced scale and delivered to
// the picker through the main run loop, so the reflection keeps moving while the grid
// fills. A picker that was replaced or closed stops its decoding, in the middle of a
// photo if need be.
#include <waterline/app/ViewController.h>

#include <waterline/app/AppError.h>
#include <waterline/app/ScreenLayout.h>
#include <waterline/effect/AlbumTargetSize.h>
#include <waterline/effect/FixOrientation.h>
#include <waterline/effect/FrameChain.h>
#include <waterline/effect/PictureFile.h>
#include <waterline/foundation/FileIO.h>
#include <waterline/foundation/MainThread.h>
#include <waterline/foundation/SerialQueue.h>
#include <waterline/ui/Button.h>
#include <waterline/ui/ImageView.h>
#include <waterline/ui/PhotoPicker.h>
#include <waterline/ui/Popover.h>
#include <waterline/ui/Slider.h>
#include <waterline/ui/Window.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>

namespace waterline {

namespace {

// The size a thumbnail is decoded at: the photo fitted into one grid cell.
SizeF thumbnailSize(SizeF photo)
{
    double scale = std::min({PhotoPicker::kCellSize / photo.width, PhotoPicker::kCellSize / photo.height, 1.0});
    return {std::max(1.0, std::floor(photo.width * scale)), std::max(1.0, std::floor(photo.height * scale))};
}

// Gives up as soon as `cancelled` is set, so that a large photo does not hold up the
// closing picker or the quitting application.
std::shared_ptr<const PixelBuffer> decodeThumbnail(const std::filesystem::path& path,
                                                   const std::atomic<bool>& cancelled)
{
    auto cell = static_cast<int>(PhotoPicker::kCellSize);
    auto decoded = PictureFile::read(path, {.coverSize = Size{cell, cell}, .cancelled = &cancelled});
    if (!decoded || !*decoded)
        return nullptr;
    auto thumbnail = fixOrientation(**decoded, thumbnailSize((*decoded)->size()));
    return thumbnail ? thumbnail->sharedRaster() : nullptr;
}

// The photo's own upright size decides the target; decoding then needs no more pixels
// than the target has (a JPEG decodes at the smallest DCT scale that still covers it).
ErrorOr<PickedPhoto> readPickedPhoto(const std::filesystem::path& path)
{
    auto contents = WL_TRY(PictureFile::readContents(path));
    auto probed = WL_TRY(PictureFile::probe(contents));
    SizeF upright = probed.uprightSize();
    SizeF target = albumTargetSize(upright);
    PictureDecodeOptions options;
    if (target.width >= 1 && target.height >= 1)
        options.coverSize = Size{static_cast<int>(target.width), static_cast<int>(target.height)};
    auto decoded = WL_TRY(PictureFile::decode(contents, options));
    return PickedPhoto{decoded, upright};
}

} // namespace

void ViewController::albumbtnclicked()
{
    if (!m_photoLibrary.isAvailable()) {
        showAlert(AlertTexts::noPhotoLibrary(), AlertDelegate::None);
        return;
    }
    // Stopped before the picker opens, and not restarted if the user cancels.
    stopCapture();
    presentPhotoPicker();
}

void ViewController::presentPhotoPicker()
{
    if (m_pickerSession)
        m_pickerSession->store(true);
    auto photos = m_photoLibrary.photos();
    auto picker = std::make_unique<PhotoPicker>();
    picker->setPhotoCount(static_cast<int>(photos.size()));
    std::weak_ptr<bool> alive = m_alive;
    picker->didPick = [this, alive, photos](int index) {
        if (alive.lock() && index >= 0 && index < static_cast<int>(photos.size()))
            pickPhoto(photos[static_cast<std::size_t>(index)]);
    };
    picker->didCancel = [this, alive] {
        if (alive.lock())
            imagePickerControllerDidCancel();
    };
    m_albumpopoverController = std::make_unique<Popover>(std::move(picker));
    // Closed by a tap outside: its thumbnails are no longer wanted.
    m_albumpopoverController->didDismissByOutsideTap = [this, alive] {
        if (alive.lock() && m_pickerSession)
            m_pickerSession->store(true);
    };
    m_albumpopoverController->presentFromRect(ScreenLayout::kAlbumPopoverAnchor, m_window);
    loadThumbnails(photos);
}

void ViewController::loadThumbnails(const std::vector<std::filesystem::path>& photos)
{
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    m_pickerSession = cancelled;
    auto* picker = static_cast<PhotoPicker*>(&m_albumpopoverController->content());
    std::weak_ptr<bool> alive = m_alive;
    for (std::size_t i = 0; i < photos.size(); ++i) {
        m_background->async([this, alive, cancelled, picker, path = photos[i], index = static_cast<int>(i)] {
            if (*cancelled)
                return;
            auto thumbnail = decodeThumbnail(path, *cancelled);
            if (!thumbnail)
                return;
            performOnMainThread(
                [this, alive, cancelled, picker, index, thumbnail = std::move(thumbnail)] {
                    // The picker is alive as long as its session is not cancelled.
                    if (alive.lock() && !*cancelled)
                        picker->setThumbnail(index, thumbnail);
                },
                /*wait=*/false);
        });
    }
}

void ViewController::pickPhoto(const std::filesystem::path& path)
{
    // An unreadable or damaged file is like a picked item without a picture: the picker
    // closes and the previous picture stays. The user is told, since a photo that
    // silently fails to appear looks like a broken button.
    auto photo = readPickedPhoto(path);
    if (!photo) {
        // Errors of reading the file name it already; those of decoding do not.
        auto reason = photo.error()->localizedDescription();
        if (!reason.starts_with(path.string() + ": "))
            reason = path.string() + ": " + reason;
        std::fprintf(stderr, "waterline: cannot read %s\n", reason.c_str());
    }
    imagePickerController(photo ? *photo : PickedPhoto{});
    if (!photo)
        showAlert(AlertTexts::photoNotOpened(), AlertDelegate::None);
}

void ViewController::dismissPicker()
{
    if (m_pickerSession)
        m_pickerSession->store(true);
    if (m_albumpopoverController)
        m_albumpopoverController->dismiss();
}

void ViewController::imagePickerController(const PickedPhoto& info)
{
    dismissPicker();
    if (!info.originalImage || info.size.width <= 0 || info.size.height <= 0)
        return;

    SizeF target = albumTargetSize(info.size);
    // No picture when the target has no height; the view is then emptied and the frame
    // chain stops at its next load, leaving the last reflection on screen.
    setDisplayedImage(fixOrientation(*info.originalImage, target));
    m_effect->newimg_album = true;
    // A chain that ended on an unscalable photo would otherwise never show another
    // reflection; a new picture starts it again.
    if (!m_frameChain->isRunning())
        m_frameChain->loadnewimage_album();
    enterPhotoMode();
}

void ViewController::enterPhotoMode()
{
    savebtn->setEnabled(true);
    sharebtn->setEnabled(true);
    for (Slider* slider : {K1Slider, K2Slider, K3Slider, K4Slider})
        slider->setHidden(false);
}

void ViewController::imagePickerControllerDidCancel()
{
    dismissPicker();
}

} // namespace waterline
