#include "ScreenFixture.h"

#include <waterline/app/StoreLinks.h>

#include <algorithm>
#include <fstream>

using namespace waterline;
using apptest::Screen;

TEST(Prompts, CompanionPromptComesAfterHalfASecondWithItsTexts)
{
    Screen screen(1);
    EXPECT_TRUE(screen->hasPendingMorePrompt());
    EXPECT_TRUE(screen->hasPendingRatePrompt());
    EXPECT_EQ(screen.window().alertCount(), 0u);
    ASSERT_TRUE(apptest::runUntil([&] { return screen.frontAlert() != nullptr; }));
    auto* alert = screen.frontAlert();
    EXPECT_EQ(alert->title(), "A Bonus Free App: Amorette");
    EXPECT_EQ(alert->tag(), 2);
    ASSERT_EQ(alert->numberOfButtons(), 2);
    EXPECT_EQ(alert->buttonTitleAtIndex(0), "No");
    EXPECT_EQ(alert->buttonTitleAtIndex(1), "Yes");
    EXPECT_TRUE(screen->hasPendingRatePrompt()) << "the rate prompt waits its 90 seconds";
}

TEST(Prompts, RoutingByTagAndButton)
{
    struct Case {
        bool rate; // the rate prompt, else the companion prompt
        int button;
        std::vector<std::string> opened;
        bool rated;
        bool more;
    };
    const std::vector<Case> cases = {
        {true, 1, {StoreLinks::reviewLink()}, true, false},
        {true, 0, {}, false, false},
        {false, 1, {StoreLinks::companionLink()}, false, true},
        {false, 0, {}, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.rate ? "rate" : "more") + " button " + std::to_string(c.button));
        Screen screen(1);
        c.rate ? screen->showratedialog() : screen->showmoredlg();
        ASSERT_EQ(screen.window().alertCount(), 1u);
        screen.frontAlert()->dismissWithButtonIndex(c.button);
        EXPECT_EQ(screen.openedURLs, c.opened);
        EXPECT_EQ(screen.defaults->boolForKey("rated"), c.rated);
        EXPECT_EQ(screen.defaults->boolForKey("more"), c.more);
    }
}

TEST(Prompts, BothPendingAtOnceAreEachRoutedByTheirOwnTag)
{
    Screen screen(1);
    screen->showmoredlg();
    screen->showratedialog();
    ASSERT_EQ(screen.window().alertCount(), 2u);
    screen.frontAlert()->dismissWithButtonIndex(0); // "No" to the companion
    screen.frontAlert()->dismissWithButtonIndex(1); // "Yes" to rating
    EXPECT_EQ(screen.openedURLs, std::vector<std::string>{StoreLinks::reviewLink()});
    EXPECT_TRUE(screen.defaults->boolForKey("rated"));
    EXPECT_FALSE(screen.defaults->boolForKey("more"));
}

TEST(Prompts, ADeclinedPromptComesBackAndAnAcceptedOneDoesNot)
{
    apptest::ScratchDirectory config;
    {
        Screen first(1, config.path());
        EXPECT_TRUE(first->hasPendingRatePrompt());
        EXPECT_TRUE(first->hasPendingMorePrompt());
        first->showratedialog();
        first.frontAlert()->dismissWithButtonIndex(1); // rated
        first->showmoredlg();
        first.frontAlert()->dismissWithButtonIndex(0); // declined
    }
    Screen second(1, config.path());
    EXPECT_FALSE(second->hasPendingRatePrompt());
    EXPECT_TRUE(second->hasPendingMorePrompt());
    ASSERT_TRUE(apptest::runUntil([&] { return second.frontAlert() != nullptr; }));
    EXPECT_EQ(second.frontAlertTitle(), "A Bonus Free App: Amorette");
    second.frontAlert()->dismissWithButtonIndex(1);

    Screen third(1, config.path());
    EXPECT_FALSE(third->hasPendingRatePrompt());
    EXPECT_FALSE(third->hasPendingMorePrompt());
}

TEST(Prompts, AnAnswerThatCannotBeStoredIsReportedOncePerRun)
{
    apptest::ScratchDirectory scratch;
    std::ofstream(scratch / "config") << "a file where the settings folder should be";
    Screen screen(1, scratch / "config");
    testing::internal::CaptureStderr();
    for (int round = 0; round < 2; ++round) {
        screen->showratedialog();
        screen.frontAlert()->dismissWithButtonIndex(1);
        screen->showmoredlg();
        screen.frontAlert()->dismissWithButtonIndex(1);
    }
    std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 1) << log;
    EXPECT_EQ(log.rfind("waterline: the answer to the prompt will not be remembered: "
                        "Could not write the settings file '"
                            + (scratch / "config" / "defaults.json").string() + "': ",
                        0),
              0u)
        << log;
    // The answers hold for this run even though they were not written.
    EXPECT_TRUE(screen.defaults->boolForKey("rated"));
    EXPECT_TRUE(screen.defaults->boolForKey("more"));
    EXPECT_EQ(screen.openedURLs.size(), 4u);
}
