// A launched main screen for tests: an off-screen application, a controller built over
// its window with a user-defaults store and a photo library in scratch directories, and
// a record of the links the screen asked to open. Helpers run the main run loop until a
// condition holds (with a time-out, so a fault cannot hang the suite) and make photos.
#pragma once

#include "ScratchDirectory.h"

#include <waterline/app/ViewController.h>
#include <waterline/effect/PictureFile.h>
#include <waterline/foundation/RunLoop.h>
#include <waterline/settings/UserDefaults.h>
#include <waterline/ui/AlertView.h>
#include <waterline/ui/Application.h>

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace waterline::apptest {

// Runs the main run loop until `done` holds or `seconds` passed; whether it holds.
inline bool runUntil(const std::function<bool()>& done, double seconds = 5)
{
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        if (auto* app = Application::shared())
            app->processPendingEvents();
        RunLoop::main().runMode(kDefaultRunLoopMode, 0.005, /*returnAfterSourceHandled=*/true);
    }
    return done();
}

inline void runFor(double seconds)
{
    runUntil([] { return false; }, seconds);
}

// An opaque picture whose pixel (x, y) has red x, green y and blue 200, as ARGB bytes.
inline std::shared_ptr<Picture> gradientPicture(int width, int height,
                                                PictureOrientation orientation = PictureOrientation::Up)
{
    std::shared_ptr<PixelBuffer> raster = PixelBuffer::create(PixelFormat::ARGB32Premultiplied, {width, height});
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = raster->row(y) + x * 4;
            p[0] = 255;
            p[1] = static_cast<std::uint8_t>(x);
            p[2] = static_cast<std::uint8_t>(y);
            p[3] = 200;
        }
    }
    return Picture::create(std::move(raster), orientation);
}

inline void writeJPEG(const std::filesystem::path& path, int width, int height)
{
    auto jpeg = PictureFile::encodeJPEG(gradientPicture(width, height)->raster(), 0.9f);
    ASSERT_TRUE(jpeg) << jpeg.error()->localizedDescription();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(jpeg->data()), static_cast<std::streamsize>(jpeg->size()));
}

class Screen {
public:
    explicit Screen(int cameras = 1, std::filesystem::path configDirectory = {}, std::filesystem::path photos = {})
    {
        auto created = Application::create({.offscreen = true});
        EXPECT_TRUE(created) << (created ? "" : created.error()->debugDescription());
        app = created ? created.releaseValue() : nullptr;
        defaults = std::make_unique<UserDefaults>(configDirectory.empty() ? scratch / "config" : configDirectory);
        if (photos.empty()) {
            photos = scratch / "Pictures";
            std::filesystem::create_directory(photos);
        }
        ViewController::Environment environment;
        environment.defaults = defaults.get();
        environment.picturesDirectory = photos;
        environment.cameraCount = cameras;
        environment.openURL = [this](const std::string& url) { openedURLs.push_back(url); };
        controller = std::make_unique<ViewController>(app->window(), std::move(environment));
        controller->viewDidLoad();
    }
    ~Screen()
    {
        controller.reset();
        app.reset();
    }

    Window& window() { return app->window(); }
    ViewController& operator*() { return *controller; }
    ViewController* operator->() { return controller.get(); }

    AlertView* frontAlert() { return window().frontAlert(); }
    // The front alert's title, or "" when none is up.
    std::string frontAlertTitle()
    {
        auto* alert = frontAlert();
        return alert ? alert->title() : std::string();
    }
    // Answers every alert that is up with its cancel (first) button.
    void dismissAllAlerts()
    {
        while (auto* alert = frontAlert())
            alert->dismissWithButtonIndex(0);
    }

    ScratchDirectory scratch;
    std::unique_ptr<Application> app;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<ViewController> controller;
    std::vector<std::string> openedURLs;
};

} // namespace waterline::apptest
