#include <waterline/app/Script.h>

#include <gtest/gtest.h>

using namespace waterline;
using Kind = ScriptCommand::Kind;

TEST(Script, ParsesEveryCommand)
{
    auto script = parseScript("# pick a photo\n"
                              "wait 500\n"
                              "tap 30 994   # the album button\n"
                              "\n"
                              "drag 150 994 300.5 994 400\n"
                              "key Return\n"
                              "screenshot /tmp/my shots/a.png  # spaces kept\n"
                              "quit\n");
    ASSERT_TRUE(script) << script.error()->localizedDescription();
    ASSERT_EQ(script->size(), 6u);
    EXPECT_EQ((*script)[0].kind, Kind::Wait);
    EXPECT_EQ((*script)[0].milliseconds, 500);
    EXPECT_EQ((*script)[1].kind, Kind::Tap);
    EXPECT_EQ((*script)[1].from, (PointF{30, 994}));
    EXPECT_EQ((*script)[1].line, 3);
    EXPECT_EQ((*script)[2].kind, Kind::Drag);
    EXPECT_EQ((*script)[2].to, (PointF{300.5, 994}));
    EXPECT_EQ((*script)[2].milliseconds, 400);
    EXPECT_EQ((*script)[3].text, "Return");
    EXPECT_EQ((*script)[4].text, "/tmp/my shots/a.png");
    EXPECT_EQ((*script)[5].kind, Kind::Quit);
}

TEST(Script, HashStartsACommentOnlyAtTheStartOfAWord)
{
    auto script = parseScript("screenshot /tmp/a#b.png\n"
                              "screenshot /tmp/x.png # note\n"
                              "screenshot /tmp/my #1.png\n"
                              "#screenshot /tmp/no.png\n"
                              "tap 1 2\t# tab before the comment\n");
    ASSERT_TRUE(script) << script.error()->localizedDescription();
    ASSERT_EQ(script->size(), 4u);
    EXPECT_EQ((*script)[0].text, "/tmp/a#b.png");
    EXPECT_EQ((*script)[1].text, "/tmp/x.png");
    EXPECT_EQ((*script)[2].text, "/tmp/my");
    EXPECT_EQ((*script)[3].from, (PointF{1, 2}));
}

TEST(Script, BadLinesAreReportedWithTheirNumber)
{
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"jump 1", "line 1: unknown command \"jump\""},
        {"wait\n", "line 1: expected \"wait MS\""},
        {"wait -5", "line 1: \"-5\" is not a duration in milliseconds"},
        {"wait 5s", "line 1: \"5s\" is not a duration in milliseconds"},
        {"\n\ntap 1", "line 3: expected \"tap X Y\""},
        {"tap x 2", "line 1: tap needs two numbers"},
        {"drag 1 2 3 4", "line 1: expected \"drag X1 Y1 X2 Y2 MS\""},
        {"drag 1 2 3 4 soon", "line 1: drag needs four numbers and a duration in milliseconds"},
        {"screenshot", "line 1: expected \"screenshot PATH\""},
        {"quit now", "line 1: expected \"quit\""},
        // Only the two keys a script can use are names; a misspelt one would be ignored.
        {"wait 1\nkey Space", "line 2: unknown key \"Space\" (expected Return or Escape)"},
        {"key return", "line 1: unknown key \"return\" (expected Return or Escape)"},
        {"tap 1 2#3", "line 1: tap needs two numbers"},
        {"tap inf 2", "line 1: tap needs two numbers"},
        {"drag 1 2 nan 4 10", "line 1: drag needs four numbers and a duration in milliseconds"},
    };
    for (const auto& c : cases) {
        auto script = parseScript(c.text);
        EXPECT_FALSE(script) << c.text;
        ASSERT_TRUE(script.error());
        EXPECT_EQ(script.error()->localizedDescription(), c.error);
    }
}
