// Text entry and the modal sheet: typing and deleting (whole UTF-8 characters), secure
// entry, keyboard focus, and a sheet that keeps touches and keys from what lies behind.
#include <waterline/ui/Button.h>
#include <waterline/ui/TextField.h>
#include <waterline/ui/Window.h>

#include <gtest/gtest.h>

using namespace waterline;

namespace {

void tap(Window& window, PointF p)
{
    window.dispatch(InputEvent::pointerDown(p));
    window.dispatch(InputEvent::pointerUp(p));
}

TEST(TextField, TapFocusesAndTypingEditsWholeCharacters)
{
    Window window;
    auto& field = window.rootView().add<TextField>(RectF{100, 100, 200, 30});
    field.setPlaceholder("User");
    int changes = 0;
    field.textChanged = [&](TextField&) { ++changes; };

    window.dispatch(InputEvent::textInput("x"));
    EXPECT_EQ(field.text(), "") << "an unfocused field hears nothing";
    tap(window, {150, 115});
    EXPECT_TRUE(field.isFirstResponder());
    EXPECT_EQ(window.focusedView(), &field);

    window.dispatch(InputEvent::textInput("Zoë"));
    window.dispatch(InputEvent::textInput("€"));
    EXPECT_EQ(field.text(), "Zoë€");
    window.dispatch(InputEvent::keyPress("Backspace"));
    window.dispatch(InputEvent::keyPress("Backspace"));
    EXPECT_EQ(field.text(), "Zo");
    EXPECT_EQ(changes, 4);

    field.setSecureTextEntry(true);
    field.setText("pä ss");
    EXPECT_EQ(field.displayedText(), "\u2022\u2022\u2022\u2022\u2022");
    EXPECT_EQ(field.text(), "pä ss");
}

TEST(TextField, KeysTheFieldLeavesGoUpToItsAncestorsAndAGoneFieldLosesFocus)
{
    Window window;
    struct Form : View {
        std::vector<std::string> keys;
        bool keyPressed(const std::string& name) override
        {
            keys.push_back(name);
            return true;
        }
    };
    auto& form = window.rootView().add<Form>();
    form.setFrame({0, 0, 400, 400});
    auto& field = form.add<TextField>(RectF{10, 10, 200, 30});
    std::vector<std::string> unhandled;
    window.onKey = [&](const std::string& key) { unhandled.push_back(key); };
    ASSERT_TRUE(field.becomeFirstResponder());
    window.dispatch(InputEvent::keyPress("Return"));
    window.dispatch(InputEvent::keyPress("Backspace"));
    EXPECT_EQ(form.keys, std::vector<std::string>{"Return"});
    EXPECT_TRUE(unhandled.empty());

    form.removeChild(field);
    EXPECT_EQ(window.focusedView(), nullptr);
    window.dispatch(InputEvent::keyPress("Q"));
    EXPECT_EQ(unhandled, std::vector<std::string>{"Q"});
}

TEST(Sheet, IsModalForTouchesAndKeysUntilDismissed)
{
    Window window;
    auto& behind = window.rootView().add<Button>(Button::Custom, RectF{0, 0, 100, 100});
    int behindTaps = 0;
    behind.addTarget([&] { ++behindTaps; }, ControlEvent::TouchUpInside);
    std::vector<std::string> unhandled;
    window.onKey = [&](const std::string& key) { unhandled.push_back(key); };

    View sheet(RectF{200, 200, 300, 200});
    auto& inside = sheet.add<Button>(Button::Custom, RectF{0, 0, 100, 100});
    int insideTaps = 0;
    inside.addTarget([&] { ++insideTaps; }, ControlEvent::TouchUpInside);
    window.presentSheet(sheet);
    EXPECT_EQ(window.presentedSheet(), &sheet);

    tap(window, {50, 50});
    tap(window, {250, 250});
    window.dispatch(InputEvent::keyPress("Escape"));
    EXPECT_EQ(behindTaps, 0);
    EXPECT_EQ(insideTaps, 1);
    EXPECT_TRUE(unhandled.empty());

    window.dismissSheet(sheet);
    EXPECT_EQ(window.presentedSheet(), nullptr);
    tap(window, {50, 50});
    window.dispatch(InputEvent::keyPress("Escape"));
    EXPECT_EQ(behindTaps, 1);
    EXPECT_EQ(unhandled, std::vector<std::string>{"Escape"});
}

} // namespace
