// The login dialog's form sheet: what it shows for a dialog, how it is answered (Login,
// Cancel, keys), and a run of the real application loop off screen, driven by
// Automation, whose screenshot is kept in the build folder for people to look at.
#include <waterline/foundation/Timer.h>
#include <waterline/http/AuthenticationDialog.h>
#include <waterline/http/HTTPRequest.h>
#include <waterline/http/URL.h>
#include <waterline/ui/Application.h>
#include <waterline/ui/AuthenticationFormPresenter.h>
#include <waterline/ui/AuthenticationFormSheet.h>
#include <waterline/ui/Automation.h>
#include <waterline/ui/Button.h>
#include <waterline/ui/TextField.h>
#include <waterline/ui/Window.h>

#include <gtest/gtest.h>

#include <png.h>

#include <cstring>
#include <filesystem>

using namespace waterline;
using namespace std::chrono_literals;
using Type = AuthenticationDialog::Type;

namespace {

std::shared_ptr<HTTPRequest> makeRequest()
{
    return HTTPRequest::requestWithURL(URL::parse("http://files.example/report.pdf"));
}

AuthenticationFormSheet& shownSheet(Window& window)
{
    auto* sheet = dynamic_cast<AuthenticationFormSheet*>(window.presentedSheet());
    EXPECT_NE(sheet, nullptr) << "no form sheet on screen";
    return *sheet;
}

PointF centreOf(View& view)
{
    RectF b = view.bounds();
    return view.pointToScreen({b.width / 2, b.height / 2});
}

void tap(Window& window, PointF p)
{
    window.dispatch(InputEvent::pointerDown(p));
    window.dispatch(InputEvent::pointerUp(p));
}

// Presents through the presenter as the authentication flow does, with `subject` shown.
std::shared_ptr<AuthenticationDialog> present(Window& window, std::shared_ptr<HTTPRequest> request, Type type,
                                              AuthenticationDialog::Subject subject)
{
    AuthenticationDialog::setPresenter(std::make_shared<AuthenticationFormPresenter>(window));
    auto dialog = AuthenticationDialog::create(std::move(request), type, std::move(subject));
    dialog->show();
    return dialog;
}

TEST(AuthenticationFormSheet, ShowsTheDialogsFormWithTheFocusOnUser)
{
    Window window;
    auto dialog = present(window, makeRequest(), Type::Proxy,
                          {"Basic", "NTLM", "Files", "http", "files.example", "gate.example"});
    auto& sheet = shownSheet(window);
    ASSERT_EQ(sheet.fields().size(), 3u);
    EXPECT_EQ(sheet.fields()[0]->placeholder(), "User");
    EXPECT_EQ(sheet.fields()[1]->placeholder(), "Password");
    EXPECT_EQ(sheet.fields()[2]->placeholder(), "Domain");
    EXPECT_FALSE(sheet.fields()[0]->isSecureTextEntry());
    EXPECT_TRUE(sheet.fields()[1]->isSecureTextEntry());
    EXPECT_EQ(sheet.fields()[0]->autocapitalizationType(), TextAutocapitalization::None);
    EXPECT_EQ(window.focusedView(), sheet.fields()[0]);
    EXPECT_EQ(sheet.cancelButton().title(), "Cancel");
    EXPECT_EQ(sheet.loginButton().title(), "Login");
    // caption, host, then header and footer of each section
    EXPECT_EQ(sheet.shownTexts(),
              (std::vector<std::string>{"Login to this secure proxy server.", "gate.example", "Files", "", "", "", "",
                                        "Password will be sent in the clear."}));
    AuthenticationDialog::setPresenter(nullptr);
}

TEST(AuthenticationFormSheet, LoginByKeysStoresWhatWasTypedAndTakesTheSheetDown)
{
    Window window;
    auto request = makeRequest();
    auto dialog = present(window, request, Type::Proxy, {{}, "NTLM", {}, "http", "files.example", "gate.example"});
    window.dispatch(InputEvent::textInput("erin"));
    window.dispatch(InputEvent::keyPress("Tab"));
    window.dispatch(InputEvent::textInput("pa55"));
    window.dispatch(InputEvent::keyPress("Tab"));
    window.dispatch(InputEvent::textInput("LAB"));
    window.dispatch(InputEvent::keyPress("Return"));
    EXPECT_EQ(request->proxyUsername(), "erin");
    EXPECT_EQ(request->proxyPassword(), "pa55");
    EXPECT_EQ(request->proxyDomain(), "LAB");
    EXPECT_EQ(request->username(), std::nullopt);
    EXPECT_EQ(window.presentedSheet(), nullptr);
    EXPECT_EQ(window.focusedView(), nullptr);
    EXPECT_TRUE(dialog->isAnswered());
    AuthenticationDialog::setPresenter(nullptr);
}

TEST(AuthenticationFormSheet, CancelButtonDeclinesAndStoresNothing)
{
    Window window;
    auto request = makeRequest();
    auto dialog = present(window, request, Type::Server, {"Basic", {}, "Files", "http", "files.example", {}});
    auto& sheet = shownSheet(window);
    window.dispatch(InputEvent::textInput("frank"));
    tap(window, centreOf(sheet.cancelButton()));
    ASSERT_NE(request->error(), nullptr);
    EXPECT_EQ(request->error()->localizedDescription(), "Authentication needed");
    EXPECT_EQ(request->username(), std::nullopt);
    EXPECT_EQ(window.presentedSheet(), nullptr);
    AuthenticationDialog::setPresenter(nullptr);
}

struct Rgba {
    png_byte r, g, b, a;
    friend bool operator==(const Rgba&, const Rgba&) = default;
};

// The whole loop off screen: Automation types into the fields and taps Login.
TEST(AuthenticationFormSheet, DrivenByAutomationOffScreen)
{
    auto created = Application::create({.offscreen = true});
    ASSERT_TRUE(created) << created.error()->debugDescription();
    auto& app = **created;
    constexpr Color kScreenBehind{40, 90, 160, 255};
    app.window().rootView().add<View>(RectF{0, 0, 768, 1024}).setBackgroundColor(kScreenBehind);
    auto request = makeRequest();
    auto dialog
        = present(app.window(), request, Type::Server, {"Basic", {}, "Quarterly reports", "http", "files.example", {}});
    auto& sheet = shownSheet(app.window());

    auto folder = std::filesystem::path(WATERLINE_BINARY_DIR) / "screenshots";
    std::filesystem::create_directories(folder);
    auto shot = (folder / "authentication-form-sheet.png").string();
    Automation automation(app);
    bool finished = false;
    automation.typeText("grace", [&] {
        automation.key("Tab", [&] {
            automation.typeText("hunter2", [&] {
                EXPECT_TRUE(automation.screenshot(shot));
                automation.tap(centreOf(sheet.loginButton()), [&] {
                    finished = true;
                    app.quit();
                });
            });
        });
    });
    auto guard = Timer::singleShot(10s, [&] { app.quit(); });
    app.run();
    guard->invalidate();
    ASSERT_TRUE(finished) << "the script did not run to its end";
    EXPECT_EQ(request->username(), "grace");
    EXPECT_EQ(request->password(), "hunter2");

    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, shot.c_str()));
    image.format = PNG_FORMAT_RGBA;
    std::vector<png_byte> rgba(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr));
    auto at = [&](int x, int y) {
        std::size_t i = (static_cast<std::size_t>(y) * image.width + static_cast<std::size_t>(x)) * 4;
        return Rgba{rgba[i], rgba[i + 1], rgba[i + 2], rgba[i + 3]};
    };
    // The button bar of the sheet, in its blue-grey, over the screen dimmed behind it.
    EXPECT_EQ(at(384 - 10, 160 + 30 + 45), (Rgba{109, 132, 162, 255}));
    Rgba behind = at(10, 10);
    EXPECT_LT(behind.b, kScreenBehind.blue);
    EXPECT_GT(behind.b, 0);
    AuthenticationDialog::setPresenter(nullptr);
}

} // namespace
