// Save and share: both hand out the picture the screen shows, the visible top of the
// picture above its reflection, composed from the two pictures on display.
//
// Save writes it as a new JPEG into the album folder and says "Saved!" once the file is
// safely written, or "Not Saved" with the reason when it is not. Share hands it, as a
// JPEG attachment, to the desktop's mail client when one is registered for mailto:
// links; otherwise it opens the plain mailto: link. The slow parts (encoding, writing,
// asking the desktop) run on the background queue; the alerts come back on the main
// thread.
#include <waterline/app/ViewController.h>

#include <waterline/app/DesktopMail.h>
#include <waterline/app/MailLink.h>
#include <waterline/app/ProcessLauncher.h>
#include <waterline/app/SavedPhotoAlbum.h>
#include <waterline/effect/PictureFile.h>
#include <waterline/effect/ReflectionComposer.h>
#include <waterline/foundation/MainThread.h>
#include <waterline/foundation/SerialQueue.h>

#include <cstdio>

namespace waterline {

std::shared_ptr<Picture> ViewController::composedPicture() const
{
    return composeWithReflection(m_displayedPicture.get(), m_waterPicture.get());
}

void ViewController::whenBackgroundWorkDone(std::function<void()> done)
{
    std::weak_ptr<bool> alive = m_alive;
    m_background->async([alive, done = std::move(done)] {
        performOnMainThread(
            [alive, done] {
                if (alive.lock())
                    done();
            },
            /*wait=*/false);
    });
}

void ViewController::savebtnclicked()
{
    auto composed = composedPicture();
    if (!composed) {
        showAlert(AlertTexts::nothingToSave(), AlertDelegate::None);
        return;
    }
    writeSavedPhoto(std::move(composed));
}

void ViewController::writeSavedPhoto(std::shared_ptr<Picture> composed)
{
    std::weak_ptr<bool> alive = m_alive;
    SavedPhotoAlbum album(m_photoLibrary.albumDirectory());
    m_background->async([this, alive, album, composed = std::move(composed)] {
        std::string failure; // empty: saved
        auto jpeg = PictureFile::encodeJPEG(composed->raster(), kSavedJPEGQuality);
        if (!jpeg)
            failure = "The picture cannot be encoded: " + jpeg.error()->localizedDescription();
        else if (auto saved = album.save(*jpeg); !saved)
            failure = saved.error()->localizedDescription();
        performOnMainThread(
            [this, alive, failure] {
                if (!alive.lock())
                    return;
                showAlert(failure.empty() ? AlertTexts::saved() : AlertTexts::notSaved(failure), AlertDelegate::None);
            },
            /*wait=*/false);
    });
}

void ViewController::sharebtnclicked()
{
    if (!m_waterPicture || m_waterPicture->size().height < 1) {
        showAlert(AlertTexts::nothingToSave(), AlertDelegate::None);
        return;
    }
    // Asking the desktop for a mail client runs a helper program: not on this thread.
    std::weak_ptr<bool> alive = m_alive;
    m_background->async([this, alive] {
        bool canSendMail = DesktopMail::canSendMail();
        performOnMainThread(
            [this, alive, canSendMail] {
                if (!alive.lock())
                    return;
                if (canSendMail) {
                    if (auto composed = composedPicture())
                        sendMail(std::move(composed));
                    return;
                }
                // No picture travels on this path: the link carries only the texts.
                openURL(MailLink::fallbackLink());
            },
            /*wait=*/false);
    });
}

void ViewController::sendMail(std::shared_ptr<Picture> composed)
{
    m_background->async([composed = std::move(composed)] {
        auto jpeg = PictureFile::encodeJPEG(composed->raster(), MailLink::kJPEGQuality);
        std::string failure;
        if (!jpeg) {
            failure = jpeg.error()->localizedDescription();
        } else if (auto attachment = DesktopMail::writeAttachment(*jpeg); !attachment) {
            failure = attachment.error()->localizedDescription();
        } else if (auto launched = ProcessLauncher::launch(DesktopMail::composeCommand(*attachment)); !launched) {
            failure = launched.error()->localizedDescription();
        }
        if (!failure.empty())
            std::fprintf(stderr, "waterline: cannot hand the picture to the mail client: %s\n", failure.c_str());
    });
}

} // namespace waterline
