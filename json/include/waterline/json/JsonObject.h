// A JSON object: string keys mapped to values, kept in the order they were inserted.
//
//   JsonObject settings{{"rated", false}};
//   settings.insertOrAssign("more", true);        // appended after "rated"
//   if (const JsonValue* rated = settings.find("rated"))
//       show(rated->asBool());
//
// Insertion order makes a parsed object iterate in the order of its text and makes the
// writer's unsorted output predictable. Storing a key that is already present replaces
// its value in place, which is how a later duplicate key in a text wins. Small objects
// are searched linearly; past a few members a hash index over the member positions is
// kept beside them, so building an object from text stays linear even when the text is
// hostile. Members are read-only through iteration (a renamed key would bypass the
// index); values are changed through find(), operator[] and insertOrAssign().
#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace waterline {

class JsonValue;
struct JsonMember;

class JsonObject {
public:
    using const_iterator = std::vector<JsonMember>::const_iterator;

    JsonObject();
    JsonObject(std::initializer_list<JsonMember> members);
    // Takes the members in their order; of members sharing a key, the last value wins,
    // at the position of the first.
    explicit JsonObject(std::vector<JsonMember> members);
    JsonObject(const JsonObject&);
    JsonObject(JsonObject&&) noexcept;
    JsonObject& operator=(const JsonObject&);
    JsonObject& operator=(JsonObject&&) noexcept;
    ~JsonObject();

    // Defined in JsonValue.h, where the members' type is complete.
    std::size_t size() const;
    bool empty() const;
    const_iterator begin() const;
    const_iterator end() const;

    // None (nullptr) when the key is absent.
    const JsonValue* find(std::string_view key) const;
    JsonValue* find(std::string_view key);
    bool contains(std::string_view key) const { return find(key) != nullptr; }
    // Throws std::out_of_range naming the key when it is absent.
    const JsonValue& at(std::string_view key) const;
    // Inserts null under an absent key.
    JsonValue& operator[](std::string_view key);

    // Replaces the value of an existing key (keeping its position) or appends a member.
    JsonValue& insertOrAssign(std::string key, JsonValue value);
    bool erase(std::string_view key);
    void reserve(std::size_t count);

    // Equal when both hold the same keys with equal values, in any order.
    friend bool operator==(const JsonObject& a, const JsonObject& b);

private:
    std::size_t positionOf(std::string_view key) const;
    // Both return false, leaving the index incomplete, on meeting a key twice.
    bool rebuildIndex();
    bool indexMember(std::size_t position);
    bool hasDuplicateKeys(); // builds the index of a large object on the way

    std::vector<JsonMember> m_members;
    // Open-addressing table of member position + 1 (0 = empty slot), preceded by its
    // slot count; none while the object is small enough for a linear search. One block
    // held by pointer, to keep small objects (and so every value) small.
    std::unique_ptr<std::uint32_t[]> m_index;
};

} // namespace waterline

#include <waterline/json/JsonValue.h> // JsonValue and JsonMember complete the object
