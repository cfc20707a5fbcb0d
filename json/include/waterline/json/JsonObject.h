// A JSON object: string keys mapped to values, kept in the order they were inserted.
//
//   JsonObject settings{{"rated", false}};
//   settings.insertOrAssign("more", true);        // appended after "rated"
//   if (const JsonValue* rated = settings.find("rated"))
//       show(rated->asBool());
//   for (const auto& [key, value] : settings)     // key: a JsonString
//       print(key.view());
//
// Insertion order makes a parsed object iterate in the order of its text and makes the
// writer's unsorted output predictable. Storing a key that is already present replaces
// its value in place, which is how a later duplicate key in a text wins. Small objects
// are searched linearly; past a few members a hash index over the member positions is
// kept beside them, so building an object from text stays linear even when the text is
// hostile. Members are read-only through iteration (a renamed key would bypass the
// index); values are changed through find(), operator[] and insertOrAssign().
//
// As with arrays, copies are deep and live on the heap, while the members of a parsed
// object lie in the document's arena and new ones are added there.
#pragma once

#include <waterline/json/ElementStore.h>
#include <waterline/json/JsonString.h>

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace waterline {

class JsonValue;
struct JsonMember;

class JsonObject {
public:
    using const_iterator = const JsonMember*;

    JsonObject() noexcept = default;
    JsonObject(std::initializer_list<JsonMember> members);
    // Takes the members in their order; of members sharing a key, the last value wins,
    // at the position of the first.
    explicit JsonObject(std::vector<JsonMember> members);

    std::size_t size() const noexcept { return m_members.size(); }
    bool empty() const noexcept { return size() == 0; }
    // Defined in JsonValue.h, where the members' type is complete.
    const JsonMember* begin() const noexcept;
    const JsonMember* end() const noexcept;

    // None (nullptr) when the key is absent.
    const JsonValue* find(std::string_view key) const;
    JsonValue* find(std::string_view key);
    bool contains(std::string_view key) const { return find(key) != nullptr; }
    // Throws std::out_of_range naming the key when it is absent.
    const JsonValue& at(std::string_view key) const;
    // Inserts null under an absent key.
    JsonValue& operator[](std::string_view key);

    // Replaces the value of an existing key (keeping its position) or appends a member.
    JsonValue& insertOrAssign(JsonString key, JsonValue value);
    bool erase(std::string_view key);
    void reserve(std::size_t count);

    // Equal when both hold the same keys with equal values, in any order.
    friend bool operator==(const JsonObject& a, const JsonObject& b);

private:
    template <typename Blocks> friend class detail::JsonScanner;
    friend class JsonValue;

    // An object in `arena` made of members relocated from `members`; of members sharing
    // a key the last value wins, at the position of the first.
    // Called on an empty object.
    void adoptParsed(JsonArena& arena, JsonMember* members, std::size_t count);

    std::size_t positionOf(std::string_view key) const;
    JsonMember& appendMember(JsonString&& key, JsonValue&& value);
    // Both return false, leaving the index incomplete, on meeting a key twice.
    bool rebuildIndex();
    bool indexMember(std::size_t position);
    bool hasDuplicateKeys(); // builds the index of a large object on the way
    void dropDuplicateKeys();

    // The index (an open-addressing table of member position + 1, 0 = empty slot,
    // preceded by its slot count) hangs off the block header; none while the object is
    // small enough for a linear search.
    detail::ElementStore<JsonMember> m_members;
};

} // namespace waterline

#include <waterline/json/JsonValue.h> // JsonValue and JsonMember complete the object
