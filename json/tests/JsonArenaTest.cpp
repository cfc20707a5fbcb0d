#include <waterline/json/JsonArena.h>
#include <waterline/json/VelJsonParser.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace waterline;

namespace {

struct ArenaHolder {
    JsonArena* arena;
    explicit ArenaHolder(std::size_t blockBytes)
        : arena(JsonArena::create(blockBytes))
    {
    }
    ~ArenaHolder() { arena->release(); }
};

} // namespace

// Every request, at every alignment and size, must land inside a block, aligned, and not
// overlap any other: filling each one completely lets the address checker of a
// sanitizer build see an overrun, and the pattern check sees an overlap.
TEST(JsonArena, RequestsAreAlignedDisjointAndWithinTheirBlocks)
{
    ArenaHolder holder(4096);
    struct Piece {
        unsigned char* at;
        std::size_t size;
        unsigned char fill;
    };
    std::vector<Piece> pieces;
    for (std::size_t i = 0; i < 3000; ++i) {
        const std::size_t alignment = std::size_t{1} << (i % 5);           // 1 to 16
        const std::size_t size = (i * 37) % 97 + (i % 50 == 0 ? 3000 : 0); // some beyond a quarter block
        auto* at = static_cast<unsigned char*>(holder.arena->allocate(size, alignment));
        ASSERT_EQ(reinterpret_cast<std::uintptr_t>(at) % alignment, 0u) << i;
        const auto fill = static_cast<unsigned char>(i);
        std::memset(at, fill, size);
        pieces.push_back({at, size, fill});
    }
    for (const Piece& piece : pieces)
        for (std::size_t j = 0; j < piece.size; ++j)
            ASSERT_EQ(piece.at[j], piece.fill);
    EXPECT_GE(holder.arena->reservedBytes(), 3000u * 48);
}

TEST(JsonArena, CopiesTextOfEveryLength)
{
    ArenaHolder holder(4096);
    std::string text;
    for (std::size_t length = 0; length < 80; ++length) {
        EXPECT_EQ(holder.arena->copy(text), text);
        text.push_back(static_cast<char>('a' + length % 26));
    }
}

// The arena goes with the last of the document and the containers taken out of it; the
// leak checker of a sanitizer build sees one that stays.
TEST(JsonArena, LivesAsLongAsItsLastHolder)
{
    VelJsonParser parser;
    std::optional<JsonValue> doc
        = parser.objectWithString(R"({"a": [1, 2, 3], "b": {"c": "a text beyond inline room"}})");
    ASSERT_TRUE(doc);
    JsonArray taken = std::move((*doc)["a"].asArray());
    JsonObject alsoTaken = std::move((*doc)["b"].asObject());
    doc.reset();
    EXPECT_EQ(taken, (JsonArray{1, 2, 3}));
    JsonArray second = std::move(taken); // passes the reference on
    EXPECT_TRUE(taken.empty());
    EXPECT_EQ(alsoTaken.at("c").asString(), "a text beyond inline room");
    EXPECT_EQ(second.size(), 3u);
}
