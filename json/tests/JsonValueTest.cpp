#include <waterline/json/JsonValue.h>

#include <gtest/gtest.h>

using namespace waterline;

TEST(JsonValue, BuiltFromLiteralsAndContainers)
{
    JsonValue doc = JsonObject{{"name", "tide"}, {"levels", JsonArray{1, 2.5, nullptr, true}}, {"n", JsonObject{}}};
    EXPECT_EQ(doc["name"].asString(), "tide");
    EXPECT_EQ(doc["levels"][1].asNumber().toDouble(), 2.5);
    EXPECT_TRUE(doc["levels"][2].isNull());
    EXPECT_TRUE(doc["levels"][3].asBool());
    EXPECT_TRUE(doc["n"].isObject());
    EXPECT_EQ(JsonValue().kind(), JsonKind::Null);
    EXPECT_EQ(JsonValue(std::string_view("v")).kind(), JsonKind::String);
    EXPECT_EQ(JsonValue(7u).kind(), JsonKind::Number);
}

TEST(JsonValue, TypedAccessFailsClearly)
{
    JsonValue number = 3;
    try {
        (void)number.asString();
        FAIL();
    } catch (const JsonTypeError& error) {
        EXPECT_STREQ(error.what(), "JSON value is a number, not a string");
    }
    EXPECT_THROW((void)JsonValue().asObject(), JsonTypeError);
    EXPECT_THROW((void)JsonValue(JsonArray{})[0], std::out_of_range);
    const JsonValue object = JsonObject{{"a", 1}};
    EXPECT_THROW((void)object["missing"], std::out_of_range);
    EXPECT_EQ(object.find("missing"), nullptr);
    EXPECT_EQ(number.find("a"), nullptr);
}

TEST(JsonValue, BooleansAreNotNumbers)
{
    EXPECT_NE(JsonValue(true), JsonValue(1));
    EXPECT_NE(JsonValue(false), JsonValue(0));
    EXPECT_NE(JsonValue(nullptr), JsonValue(false));
    EXPECT_EQ(JsonValue(1), JsonValue(*JsonNumber::fromString("1.0")));
}

TEST(JsonValue, ObjectsKeepInsertionOrderAndCompareWithoutIt)
{
    JsonObject object{{"z", 1}, {"a", 2}, {"m", 3}};
    object.insertOrAssign("a", 20);
    object["new"] = "x";
    std::vector<std::string> keys;
    for (const auto& [key, value] : object)
        keys.emplace_back(key);
    EXPECT_EQ(keys, (std::vector<std::string>{"z", "a", "m", "new"}));
    EXPECT_EQ(object.at("a"), JsonValue(20));
    EXPECT_EQ(object, (JsonObject{{"new", "x"}, {"m", 3}, {"a", 20}, {"z", 1}}));
    EXPECT_NE(object, (JsonObject{{"new", "x"}, {"m", 3}, {"a", 21}, {"z", 1}}));
    EXPECT_TRUE(object.erase("z"));
    EXPECT_FALSE(object.erase("z"));
    EXPECT_EQ(object.size(), 3u);
}

TEST(JsonValue, LargeObjectsFindEveryKeyThroughTheIndex)
{
    // Built by append: GCC 12 warns falsely about `key("k", i)`.
    auto key = [](const char* prefix, int i) { return std::string(prefix).append(std::to_string(i)); };
    JsonObject object;
    for (int i = 0; i < 1000; ++i)
        object.insertOrAssign(key("k", i), i);
    for (int i = 0; i < 1000; i += 2)
        object.insertOrAssign(key("k", i), -i);
    for (int i = 0; i < 1000; i += 3)
        object.erase(key("k", i));
    EXPECT_EQ(object.size(), 666u);
    for (int i = 0; i < 1000; ++i) {
        const JsonValue* value = object.find(key("k", i));
        if (i % 3 == 0) {
            EXPECT_EQ(value, nullptr);
        } else {
            ASSERT_NE(value, nullptr);
            EXPECT_EQ(*value, JsonValue(i % 2 == 0 ? -i : i));
        }
    }
    JsonObject copy = object;
    EXPECT_EQ(copy, object);
    std::vector<JsonMember> members;
    for (int i = 0; i < 50; ++i)
        members.push_back({key("d", i % 20), i});
    JsonObject fromMembers(std::move(members));
    EXPECT_EQ(fromMembers.size(), 20u);
    EXPECT_EQ(fromMembers.at("d3"), JsonValue(43));
    EXPECT_EQ(fromMembers.begin()->key, "d0");
}

TEST(JsonValue, CopiesAreDeep)
{
    JsonValue a = JsonObject{{"list", JsonArray{1, 2}}};
    JsonValue b = a;
    b["list"].asArray().push_back(3);
    EXPECT_EQ(a["list"].asArray().size(), 2u);
    EXPECT_NE(a, b);
}
