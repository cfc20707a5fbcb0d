#include <waterline/app/MailLink.h>
#include <waterline/app/StoreLinks.h>

#include <gtest/gtest.h>

using namespace waterline;

TEST(MailLink, FallbackLinkIsExact)
{
    EXPECT_EQ(MailLink::fallbackLink(),
              "mailto:friend@example.com?cc=family@example.com,colleague@example.com"
              "&subject=@Hello!&body=@Hello!");
}

TEST(MailLink, PercentEscapeKeepsURLPunctuationAndEscapesTheRest)
{
    struct Case {
        const char* text;
        const char* escaped;
    };
    const Case cases[] = {
        {"mailto:a@b.c?cc=d,e&subject=@Hi!", "mailto:a@b.c?cc=d,e&subject=@Hi!"},
        {"a b", "a%20b"},
        {"100%", "100%25"},
        {"<\"|\\^`{}[]>", "%3C%22%7C%5C%5E%60%7B%7D%5B%5D%3E"},
        {"caf\xc3\xa9", "caf%C3%A9"},
        {"line\nbreak", "line%0Abreak"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(MailLink::percentEscape(c.text), c.escaped) << c.text;
}

TEST(StoreLinks, ReviewLinkHasTheStorePathAndIdentifier)
{
    EXPECT_EQ(StoreLinks::reviewLink(),
              "itms-apps://" + std::string(StoreLinks::kStoreHost)
                  + "/WebObjects/MZStore.woa/wa/viewContentsUserReviews?type=Purple+Software&id="
                  + std::string(StoreLinks::kApplicationIdentifier));
    EXPECT_FALSE(StoreLinks::companionLink().empty());
}
