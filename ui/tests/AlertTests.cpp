// The alert queue: one alert on screen at a time in the order shown, buttons in index
// order with the cancel button at 0, the delegate told after dismissal, keys answering
// the front alert, and modality.
#include <waterline/ui/AlertView.h>
#include <waterline/ui/Button.h>
#include <waterline/ui/Window.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace waterline;

namespace {

struct Answer {
    int tag;
    int index;
    bool stillVisible;
    std::string frontTitleAtCallback;
};

struct Recorder {
    std::vector<Answer> answers{};
    Window* window = nullptr;

    std::unique_ptr<AlertView> make(std::string title, std::string cancel, std::vector<std::string> others, int tag)
    {
        auto alert = std::make_unique<AlertView>(std::move(title), "message", std::move(cancel));
        for (auto& other : others)
            alert->addButtonWithTitle(other);
        alert->setTag(tag);
        alert->didDismissWithButtonIndex = [this](AlertView& a, int index) {
            AlertView* front = window->frontAlert();
            answers.push_back({a.tag(), index, a.isVisible(), front ? front->title() : ""});
        };
        return alert;
    }
};

PointF buttonCentre(AlertView& alert, int index)
{
    // Buttons are the alert's Button children, in index order.
    int seen = 0;
    for (auto& child : alert.children())
        if (auto* button = dynamic_cast<Button*>(child.get()); button && seen++ == index) {
            RectF b = button->bounds();
            return button->pointToScreen({b.width / 2, b.height / 2});
        }
    ADD_FAILURE() << "no button " << index;
    return {};
}

void tap(Window& window, PointF p)
{
    window.dispatch(InputEvent::pointerDown(p));
    window.dispatch(InputEvent::pointerUp(p));
}

TEST(AlertView, ButtonsAreInIndexOrderWithTheCancelButtonFirst)
{
    AlertView rate("Rate?", "Could you give us a rate and some suggestions to improve this App?", "No");
    EXPECT_EQ(rate.addButtonWithTitle("Yes"), 1);
    EXPECT_EQ(rate.numberOfButtons(), 2);
    EXPECT_EQ(rate.buttonTitleAtIndex(0), "No");
    EXPECT_EQ(rate.buttonTitleAtIndex(1), "Yes");
    EXPECT_EQ(rate.cancelButtonIndex(), 0);
    EXPECT_THROW(rate.buttonTitleAtIndex(2), std::out_of_range);

    AlertView bare("Title", "no cancel");
    EXPECT_EQ(bare.cancelButtonIndex(), -1);
    EXPECT_EQ(bare.addButtonWithTitle("OK"), 0);
}

TEST(AlertQueue, ShowsOneAtATimeAndTellsTheDelegateAfterDismissal)
{
    Window window;
    Recorder recorder{.window = &window};
    window.show(recorder.make("A Bonus Free App: Amorette", "No", {"Yes"}, 2));
    window.show(recorder.make("Rate?", "No", {"Yes"}, 0));
    window.show(recorder.make("No Camera is detected.", "OK", {}, 0));
    ASSERT_EQ(window.alertCount(), 3u);
    EXPECT_EQ(window.frontAlert()->title(), "A Bonus Free App: Amorette");
    EXPECT_TRUE(window.frontAlert()->isVisible());

    tap(window, buttonCentre(*window.frontAlert(), 1)); // "Yes"
    ASSERT_EQ(recorder.answers.size(), 1u);
    EXPECT_EQ(recorder.answers[0].tag, 2);
    EXPECT_EQ(recorder.answers[0].index, 1);
    EXPECT_FALSE(recorder.answers[0].stillVisible);
    EXPECT_EQ(recorder.answers[0].frontTitleAtCallback, "Rate?"); // the next one is already up

    tap(window, buttonCentre(*window.frontAlert(), 0)); // "No"
    tap(window, buttonCentre(*window.frontAlert(), 0)); // "OK"
    ASSERT_EQ(recorder.answers.size(), 3u);
    EXPECT_EQ(recorder.answers[1].index, 0);
    EXPECT_EQ(recorder.answers[2].index, 0);
    EXPECT_EQ(window.frontAlert(), nullptr);
}

TEST(AlertQueue, ReturnAnswersWithTheLastButtonAndEscapeWithTheCancelButton)
{
    Window window;
    Recorder recorder{.window = &window};
    std::vector<std::string> otherKeys;
    window.onKey = [&](const std::string& key) { otherKeys.push_back(key); };
    window.show(recorder.make("first", "No", {"Maybe", "Yes"}, 1));
    window.show(recorder.make("second", "No", {"Yes"}, 2));
    window.show(recorder.make("third", "OK", {}, 3));

    struct Step {
        const char* key;
        int tag;
        int index;
    };
    const Step steps[] = {
        {"Return", 1, 2}, {"Escape", 2, 0}, {"Return", 3, 0}, // a single button is both the last and the cancel button
    };
    window.dispatch(InputEvent::keyPress("A")); // other keys wait while an alert is up
    for (const Step& step : steps)
        window.dispatch(InputEvent::keyPress(step.key));
    ASSERT_EQ(recorder.answers.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(recorder.answers[i].tag, steps[i].tag);
        EXPECT_EQ(recorder.answers[i].index, steps[i].index);
    }
    EXPECT_TRUE(otherKeys.empty());
    window.dispatch(InputEvent::keyPress("Return")); // no alert: the key goes on
    EXPECT_EQ(otherKeys, std::vector<std::string>{"Return"});
}

TEST(AlertQueue, IsModal)
{
    Window window;
    Recorder recorder{.window = &window};
    auto& button = window.rootView().add<Button>(Button::Custom, RectF{0, 964, 60, 60});
    int fired = 0;
    button.addTarget([&] { ++fired; }, ControlEvent::TouchUpInside);
    window.show(recorder.make("Saved!", "OK", {}, 0));
    tap(window, {30, 994});
    EXPECT_EQ(fired, 0);
    EXPECT_TRUE(recorder.answers.empty());
    window.dispatch(InputEvent::keyPress("Escape"));
    tap(window, {30, 994});
    EXPECT_EQ(fired, 1);
}

TEST(AlertQueue, ADelegateMayShowAnotherAlert)
{
    Window window;
    std::vector<int> order;
    auto first = std::make_unique<AlertView>("first", "", "OK");
    first->didDismissWithButtonIndex = [&](AlertView&, int) {
        order.push_back(1);
        auto next = std::make_unique<AlertView>("follow-up", "", "OK");
        next->didDismissWithButtonIndex = [&](AlertView&, int) { order.push_back(2); };
        window.show(std::move(next));
    };
    window.show(std::move(first));
    tap(window, buttonCentre(*window.frontAlert(), 0));
    ASSERT_NE(window.frontAlert(), nullptr);
    EXPECT_EQ(window.frontAlert()->title(), "follow-up");
    window.dispatch(InputEvent::keyPress("Return"));
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(AlertQueue, ProgrammaticDismissalOfAQueuedAlert)
{
    Window window;
    Recorder recorder{.window = &window};
    window.show(recorder.make("front", "No", {}, 1));
    AlertView& queued = window.show(recorder.make("queued", "No", {"Yes"}, 2));
    queued.dismissWithButtonIndex(1);
    ASSERT_EQ(recorder.answers.size(), 1u);
    EXPECT_EQ(recorder.answers[0].tag, 2);
    EXPECT_EQ(window.frontAlert()->title(), "front");
    EXPECT_EQ(window.alertCount(), 1u);
}

} // namespace
