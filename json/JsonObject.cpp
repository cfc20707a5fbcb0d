// Insertion-ordered members with a hash index for larger objects.
#include <waterline/json/JsonObject.h>

#include <waterline/json/JsonValue.h>

#include <cstring>
#include <stdexcept>

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

std::unique_ptr<std::uint32_t[]> copyIndex(const std::unique_ptr<std::uint32_t[]>& index)
{
    if (!index)
        return nullptr;
    std::size_t words = std::size_t{index[0]} + 1;
    auto copy = std::make_unique_for_overwrite<std::uint32_t[]>(words);
    std::memcpy(copy.get(), index.get(), words * sizeof(std::uint32_t));
    return copy;
}

} // namespace

JsonObject::JsonObject() = default;
JsonObject::JsonObject(const JsonObject& other)
    : m_members(other.m_members)
    , m_index(copyIndex(other.m_index))
{
}
JsonObject::JsonObject(JsonObject&&) noexcept = default;
JsonObject& JsonObject::operator=(const JsonObject& other)
{
    if (this != &other)
        *this = JsonObject(other);
    return *this;
}
JsonObject& JsonObject::operator=(JsonObject&&) noexcept = default;
JsonObject::~JsonObject() = default;

JsonObject::JsonObject(std::initializer_list<JsonMember> members)
{
    reserve(members.size());
    for (const JsonMember& member : members)
        insertOrAssign(member.key, member.value);
}

JsonObject::JsonObject(std::vector<JsonMember> members)
    : m_members(std::move(members))
{
    if (!hasDuplicateKeys())
        return;
    std::vector<JsonMember> all = std::move(m_members);
    m_members.clear();
    m_index.reset();
    m_members.reserve(all.size());
    for (JsonMember& member : all)
        insertOrAssign(std::move(member.key), std::move(member.value));
}

bool JsonObject::hasDuplicateKeys()
{
    if (m_members.size() > kLinearSearchLimit)
        return !rebuildIndex();
    for (std::size_t i = 1; i < m_members.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (m_members[i].key == m_members[j].key)
                return true;
    return false;
}

void JsonObject::reserve(std::size_t count)
{
    m_members.reserve(count);
}

std::size_t JsonObject::positionOf(std::string_view key) const
{
    if (!m_index) {
        for (std::size_t i = 0; i < m_members.size(); ++i)
            if (m_members[i].key == key)
                return i;
        return kNotFound;
    }
    const std::uint32_t* index = m_index.get() + 1;
    std::size_t mask = m_index[0] - 1;
    for (std::size_t slot = hashKey(key) & mask;; slot = (slot + 1) & mask) {
        std::uint32_t entry = index[slot];
        if (entry == 0)
            return kNotFound;
        if (m_members[entry - 1].key == key)
            return entry - 1;
    }
}

bool JsonObject::indexMember(std::size_t position)
{
    std::uint32_t* index = m_index.get() + 1;
    std::size_t mask = m_index[0] - 1;
    const std::string& key = m_members[position].key;
    std::size_t slot = hashKey(key) & mask;
    for (; index[slot] != 0; slot = (slot + 1) & mask)
        if (m_members[index[slot] - 1].key == key)
            return false;
    index[slot] = static_cast<std::uint32_t>(position + 1);
    return true;
}

bool JsonObject::rebuildIndex()
{
    m_index.reset();
    if (m_members.size() <= kLinearSearchLimit)
        return true;
    std::size_t slots = 16;
    while (slots < m_members.size() * 2)
        slots *= 2;                                         // load factor at most one half
    m_index = std::make_unique<std::uint32_t[]>(slots + 1); // zeroed: every slot empty
    m_index[0] = static_cast<std::uint32_t>(slots);
    for (std::size_t i = 0; i < m_members.size(); ++i)
        if (!indexMember(i))
            return false;
    return true;
}

const JsonValue* JsonObject::find(std::string_view key) const
{
    std::size_t position = positionOf(key);
    return position == kNotFound ? nullptr : &m_members[position].value;
}

JsonValue* JsonObject::find(std::string_view key)
{
    std::size_t position = positionOf(key);
    return position == kNotFound ? nullptr : &m_members[position].value;
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
    return insertOrAssign(std::string(key), JsonValue());
}

JsonValue& JsonObject::insertOrAssign(std::string key, JsonValue value)
{
    std::size_t position = positionOf(key);
    if (position != kNotFound) {
        m_members[position].value = std::move(value);
        return m_members[position].value;
    }
    m_members.push_back(JsonMember{std::move(key), std::move(value)});
    if (!m_index ? m_members.size() > kLinearSearchLimit : m_members.size() * 2 > m_index[0])
        rebuildIndex();
    else if (m_index)
        indexMember(m_members.size() - 1);
    return m_members.back().value;
}

bool JsonObject::erase(std::string_view key)
{
    std::size_t position = positionOf(key);
    if (position == kNotFound)
        return false;
    m_members.erase(m_members.begin() + static_cast<std::ptrdiff_t>(position));
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
