// Insertion-ordered members with a hash index for larger objects.
#include <waterline/json/JsonObject.h>

#include <waterline/json/JsonValue.h>

#include <cstring>
#include <stdexcept>
#include <utility>

namespace waterline {

namespace {

// Up to this many members a linear search beats hashing the key.
constexpr std::size_t kLinearSearchLimit = 8;
constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

std::uint64_t load(const char* at, std::size_t width)
{
    std::uint64_t word = 0;
    std::memcpy(&word, at, width);
    return word;
}

// Keys are short: eight bytes at a time, each word folded in by a multiply whose high
// half is mixed back down, so that every byte reaches the low bits the table uses. The
// last few bytes are read with fixed-width loads (overlapping where need be), as a
// variable-width copy into a word stalls the load that follows it.
std::size_t hashKey(std::string_view key)
{
    constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15ull;
    auto fold = [](std::uint64_t hash, std::uint64_t word) {
        hash = (hash ^ word) * kMultiplier;
        return hash ^ (hash >> 32);
    };
    const char* bytes = key.data();
    const std::size_t size = key.size();
    std::uint64_t hash = (size + 1) * kMultiplier;
    if (size >= 8) {
        std::size_t i = 0;
        for (; size - i > 8; i += 8)
            hash = fold(hash, load(bytes + i, 8));
        hash = fold(hash, load(bytes + size - 8, 8));
    } else if (size >= 4) {
        hash = fold(hash, load(bytes, 4) | load(bytes + size - 4, 4) << 32);
    } else if (size > 0) {
        hash = fold(hash, load(bytes, 1) | load(bytes + size / 2, 1) << 8 | load(bytes + size - 1, 1) << 16);
    }
    hash *= kMultiplier;
    return static_cast<std::size_t>(hash ^ (hash >> 29));
}

} // namespace

JsonObject::JsonObject(std::initializer_list<JsonMember> members)
{
    reserve(members.size());
    for (const JsonMember& member : members)
        insertOrAssign(member.key, member.value);
}

JsonObject::JsonObject(std::vector<JsonMember> members)
{
    reserve(members.size());
    for (JsonMember& member : members)
        insertOrAssign(std::move(member.key), std::move(member.value));
}

void JsonObject::adoptParsed(JsonArena& arena, JsonMember* members, std::size_t count)
{
    m_members.adopt(arena, members, count);
    if (hasDuplicateKeys())
        dropDuplicateKeys();
}

// Keeps the first position of each key with the last value given for it. Members are
// relocated bit for bit into a fresh block of the same arena; the values dropped hold
// nothing of their own, as they come from the same parse.
void JsonObject::dropDuplicateKeys()
{
    detail::ElementStore<JsonMember> all;
    all.relocateFrom(m_members);
    m_members.adopt(*all.arena(), nullptr, 0);
    m_members.reserve(all.size());
    for (std::size_t i = 0; i < all.size(); ++i) {
        JsonMember& member = all.data()[i];
        const std::size_t position = positionOf(member.key);
        if (position == kNotFound) {
            appendMember(std::move(member.key), std::move(member.value));
        } else {
            JsonValue& slot = m_members.data()[position].value;
            slot.~JsonValue();
            new (&slot) JsonValue(JsonValue::Relocated{}, member.value);
        }
    }
}

bool JsonObject::hasDuplicateKeys()
{
    const std::size_t count = m_members.size();
    if (count > kLinearSearchLimit)
        return !rebuildIndex();
    const JsonMember* members = m_members.data();
    for (std::size_t i = 1; i < count; ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (members[i].key == members[j].key)
                return true;
    return false;
}

void JsonObject::reserve(std::size_t count)
{
    m_members.reserve(count);
}

std::size_t JsonObject::positionOf(std::string_view key) const
{
    const JsonMember* members = m_members.data();
    const std::uint32_t* table = m_members.header() ? m_members.header()->index : nullptr;
    if (!table) {
        for (std::size_t i = 0; i < m_members.size(); ++i)
            if (members[i].key == key)
                return i;
        return kNotFound;
    }
    const std::uint32_t* index = table + 1;
    std::size_t mask = table[0] - 1;
    for (std::size_t slot = hashKey(key) & mask;; slot = (slot + 1) & mask) {
        std::uint32_t entry = index[slot];
        if (entry == 0)
            return kNotFound;
        if (members[entry - 1].key == key)
            return entry - 1;
    }
}

bool JsonObject::indexMember(std::size_t position)
{
    std::uint32_t* table = m_members.header()->index;
    std::uint32_t* index = table + 1;
    std::size_t mask = table[0] - 1;
    const JsonMember* members = m_members.data();
    const std::string_view key = members[position].key;
    std::size_t slot = hashKey(key) & mask;
    for (; index[slot] != 0; slot = (slot + 1) & mask)
        if (members[index[slot] - 1].key == key)
            return false;
    index[slot] = static_cast<std::uint32_t>(position + 1);
    return true;
}

bool JsonObject::rebuildIndex()
{
    detail::JsonBlockHeader* header = m_members.header();
    if (!header)
        return true;
    m_members.freeBeside(std::exchange(header->index, nullptr));
    if (m_members.size() <= kLinearSearchLimit)
        return true;
    std::size_t slots = 16;
    while (slots < m_members.size() * 2)
        slots *= 2; // load factor at most one half
    auto* table = static_cast<std::uint32_t*>(m_members.allocateBeside((slots + 1) * sizeof(std::uint32_t)));
    std::memset(table + 1, 0, slots * sizeof(std::uint32_t)); // every slot empty
    table[0] = static_cast<std::uint32_t>(slots);
    header->index = table;
    for (std::size_t i = 0; i < m_members.size(); ++i)
        if (!indexMember(i))
            return false;
    return true;
}

const JsonValue* JsonObject::find(std::string_view key) const
{
    std::size_t position = positionOf(key);
    return position == kNotFound ? nullptr : &m_members.data()[position].value;
}

JsonValue* JsonObject::find(std::string_view key)
{
    m_members.noteMutableAccess();
    std::size_t position = positionOf(key);
    return position == kNotFound ? nullptr : &m_members.data()[position].value;
}

const JsonValue& JsonObject::at(std::string_view key) const
{
    if (const JsonValue* value = find(key))
        return *value;
    throw std::out_of_range("JSON object has no member \"" + std::string(key) + "\"");
}

JsonValue& JsonObject::operator[](std::string_view key)
{
    if (JsonValue* value = find(key))
        return *value;
    return insertOrAssign(JsonString(key), JsonValue());
}

JsonValue& JsonObject::insertOrAssign(JsonString key, JsonValue value)
{
    m_members.noteMutableAccess();
    std::size_t position = positionOf(key);
    if (position != kNotFound) {
        JsonValue& slot = m_members.data()[position].value;
        slot = std::move(value);
        return slot;
    }
    return appendMember(std::move(key), std::move(value)).value;
}

JsonMember& JsonObject::appendMember(JsonString&& key, JsonValue&& value)
{
    JsonMember* slot = m_members.endWithRoomForOne();
    new (&slot->key) JsonString();
    slot->key.m_text.relocateFrom(key.m_text);
    new (&slot->value) JsonValue(JsonValue::Relocated{}, value);
    m_members.grewByOne();
    const std::uint32_t* table = m_members.header()->index;
    if (!table ? m_members.size() > kLinearSearchLimit : m_members.size() * 2 > table[0])
        rebuildIndex();
    else if (table)
        indexMember(m_members.size() - 1);
    return *slot;
}

bool JsonObject::erase(std::string_view key)
{
    m_members.noteMutableAccess();
    std::size_t position = positionOf(key);
    if (position == kNotFound)
        return false;
    m_members.removeAt(position);
    rebuildIndex();
    return true;
}

bool operator==(const JsonObject& a, const JsonObject& b)
{
    if (a.size() != b.size())
        return false;
    for (const JsonMember& member : a) {
        const JsonValue* other = b.find(member.key);
        if (!other || !(*other == member.value))
            return false;
    }
    return true;
}

} // namespace waterline
