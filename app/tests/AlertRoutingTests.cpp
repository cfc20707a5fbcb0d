#include <waterline/app/AlertRouting.h>
#include <waterline/app/AlertTexts.h>

#include <gtest/gtest.h>

using namespace waterline;

TEST(AlertRouting, OnlyYesOnAPromptLeadsAnywhere)
{
    struct Case {
        int tag;
        int button;
        AlertRoute route;
    };
    const Case cases[] = {
        {AlertTexts::kRateTag, 1, AlertRoute::GoToRate},
        {AlertTexts::kMoreTag, 1, AlertRoute::GoToMore},
        {AlertTexts::kRateTag, 0, AlertRoute::Nothing}, // "No" on the rate prompt, or the no-camera notice
        {AlertTexts::kMoreTag, 0, AlertRoute::Nothing},
        {1, 1, AlertRoute::Nothing},
        {3, 1, AlertRoute::Nothing},
        {0, 2, AlertRoute::Nothing},
        {2, -1, AlertRoute::Nothing},
    };
    for (const auto& c : cases)
        EXPECT_EQ(routeAlertDismissal(c.tag, c.button), c.route) << "tag " << c.tag << " button " << c.button;
}

TEST(AlertTexts, PromptsCarryTheirTagsAndCancelFirst)
{
    auto rate = AlertTexts::rate();
    EXPECT_EQ(rate.title, "Rate?");
    EXPECT_EQ(rate.message, "Could you give us a rate and some suggestions to improve this App?");
    EXPECT_EQ(rate.buttons, (std::vector<std::string_view>{"No", "Yes"}));
    EXPECT_EQ(rate.tag, 0);

    auto more = AlertTexts::more();
    EXPECT_EQ(more.title, "A Bonus Free App: Amorette");
    EXPECT_EQ(more.message,
              "Free Amorette App will help you make magic love photo for your sweet heart. "
              "Would you like to download the FREE App now?");
    EXPECT_EQ(more.buttons, (std::vector<std::string_view>{"No", "Yes"}));
    EXPECT_EQ(more.tag, 2);
}
