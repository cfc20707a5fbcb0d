#include <waterline/json/JsonValue.h>
#include <waterline/json/VelJsonParser.h>
#include <waterline/json/VelJsonWriter.h>

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

namespace {

JsonValue parsed(const char* text)
{
    VelJsonParser parser;
    std::optional<JsonValue> value = parser.fragmentWithString(text);
    if (!value)
        throw std::runtime_error(std::string("test text does not parse: ") + text);
    return std::move(*value);
}

} // namespace

// A parsed tree lives in its document's arena; every change must still work there, and
// values given to it from the heap (short and long text, containers) must stay intact.
TEST(JsonValue, ParsedDocumentsStayChangeable)
{
    const std::string longText(100, 'L');
    JsonValue doc = parsed(R"({"list": [1, "a string longer than inline room"], "empty": [], "o": {}})");
    doc["list"].asArray().push_back(longText);
    doc["list"].asArray().push_back(JsonObject{{"k", JsonArray{true}}});
    for (int i = 0; i < 40; ++i) // grows the block many times, in the arena
        doc["empty"].asArray().push_back(i);
    doc["o"]["new"] = "short";
    doc["o"].asObject().insertOrAssign(longText, longText);
    doc["list"][1] = 12.5;
    doc["list"].asArray().erase(doc["list"].asArray().begin());
    doc.asObject().erase("missing");

    JsonArray counted;
    for (int i = 0; i < 40; ++i)
        counted.push_back(i);
    EXPECT_EQ(doc,
              (JsonObject{{"list", JsonArray{12.5, longText, JsonObject{{"k", JsonArray{true}}}}},
                          {"empty", counted},
                          {"o", JsonObject{{"new", "short"}, {longText, longText}}}}));
    VelJsonWriter writer;
    EXPECT_EQ(writer.stringWithObject(doc).value_or("").substr(0, 20), R"({"list":[12.5,"LLLLL)");
}

TEST(JsonValue, PartsTakenOutOfADocumentOutliveIt)
{
    JsonValue list;
    JsonValue text;
    JsonValue number;
    JsonArray array;
    JsonValue copy;
    {
        JsonValue doc = parsed(R"({"list": [{"deep": "text beyond the inline room"}],
                                   "text": "another text beyond the inline room",
                                   "n": -12345678901234567890.5, "a": [1, 2]})");
        copy = doc;
        list = std::move(doc["list"]);
        text = std::move(doc["text"]);
        number = doc["n"];
        array = std::move(doc["a"].asArray());
    } // the document goes; what was taken keeps what it needs
    EXPECT_EQ(list[0]["deep"].asString(), "text beyond the inline room");
    EXPECT_EQ(text.asString(), "another text beyond the inline room");
    EXPECT_EQ(number.asNumber().text(), "-12345678901234567890.5");
    EXPECT_EQ(array, (JsonArray{1, 2}));
    list.asArray().push_back("added after the document went");
    EXPECT_EQ(list.asArray().size(), 2u);
    EXPECT_EQ(copy["list"], (JsonArray{JsonObject{{"deep", "text beyond the inline room"}}}));
    JsonValue self = parsed(R"([[1, [2]], 3])");
    self = std::move(self[0]); // a value replaced by its own child
    EXPECT_EQ(self, (JsonArray{1, JsonArray{2}}));
}

TEST(JsonValue, StringsAndKeysReadAsViews)
{
    JsonString shortKey = "k";
    JsonString longKey = std::string(40, 'q');
    EXPECT_EQ(shortKey, "k");
    EXPECT_EQ(longKey.size(), 40u);
    JsonString moved = std::move(longKey);
    EXPECT_EQ(moved.view(), std::string(40, 'q'));
    EXPECT_TRUE(shortKey < moved);
    JsonValue value = "text";
    value = std::string(30, 'x');
    EXPECT_EQ(value.asString(), std::string(30, 'x'));
    EXPECT_EQ(value.asJsonString().str(), std::string(30, 'x'));
}

// The vector-like operations, on a heap array and on a parsed one alike.
TEST(JsonValue, ArraysInsertEraseAndGrowInPlace)
{
    for (JsonValue array : {JsonValue(JsonArray{1, 2, 3}), parsed("[1, 2, 3]")}) {
        JsonArray& list = array.asArray();
        list.insert(list.begin() + 1, "one and a half, spelled out at length");
        list.erase(list.begin());
        list.pop_back();
        list.emplace_back(list[0]); // an element of the array itself, across growth
        for (int i = 0; i < 20; ++i)
            list.push_back(list.back());
        EXPECT_EQ(list.size(), 23u);
        EXPECT_EQ(list[0], list[22]);
        EXPECT_EQ(list[1], JsonValue(2));
        EXPECT_THROW((void)list.at(23), std::out_of_range);
        list.clear();
        EXPECT_TRUE(list.empty());
    }
}

// Large objects keep a key index: a copy, a parsed object and an object after erasing
// must all still find every key.
TEST(JsonValue, LargeParsedObjectsAndTheirCopiesFindEveryKey)
{
    // Built by append: GCC 12 warns falsely about a chain of `+`.
    std::string text = "{";
    for (int i = 0; i < 40; ++i)
        text.append(i ? ",\"key" : "\"key").append(std::to_string(i)).append("\":").append(std::to_string(i));
    text.append("}");
    JsonValue doc = parsed(text.c_str());
    JsonValue copy = doc;
    doc.asObject().erase("key7");
    doc["key40"] = 40;
    for (int i = 0; i <= 40; ++i) {
        const std::string key = std::string("key").append(std::to_string(i));
        EXPECT_EQ(copy.find(key) != nullptr, i < 40) << key;
        EXPECT_EQ(doc.find(key) != nullptr, i != 7) << key;
        if (i != 7) {
            EXPECT_EQ(doc[key], JsonValue(i));
        }
    }
}
