// The sixteen-byte text storage behind JSON strings, keys and number texts.
//
// Short text (up to 14 bytes: most keys, most numbers) is kept inline. Longer text is
// either owned (a heap copy this object frees) or borrowed: it lies in the arena of a
// parsed document (JsonArena.h), which outlives it. A copy always owns its text, and so
// does a move from borrowed text, so text taken out of a document never dangles; only
// the containers that hold such text relocate it bit for bit (relocateFrom) while it
// stays in the same document.
//
// Byte 14 is never touched by the storage itself: JsonNumber keeps a flag there.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace waterline::detail {

static_assert(std::endian::native == std::endian::little, "the tag shares a word with the length");

class CompactText {
public:
    static constexpr std::size_t kInlineCapacity = 14;

    CompactText() noexcept { std::memset(m_bytes, 0, sizeof m_bytes); }
    explicit CompactText(std::string_view text)
        : CompactText()
    {
        assignOwned(text);
    }
    CompactText(const CompactText& other)
        : CompactText()
    {
        copySpare(other);
        assignOwned(other.view());
    }
    CompactText(CompactText&& other)
        : CompactText()
    {
        takeFrom(other);
    }
    CompactText& operator=(const CompactText& other)
    {
        if (this != &other) {
            CompactText copy(other);
            release();
            relocateFrom(copy);
        }
        return *this;
    }
    CompactText& operator=(CompactText&& other)
    {
        if (this != &other) {
            release();
            takeFrom(other);
        }
        return *this;
    }
    ~CompactText() { release(); }

    std::string_view view() const noexcept
    {
        const std::uint8_t tag = m_bytes[kTagByte];
        if (tag <= kInlineCapacity)
            return {reinterpret_cast<const char*>(m_bytes), tag};
        return {pointer(), outOfLineSize()};
    }
    bool isBorrowed() const noexcept { return m_bytes[kTagByte] == kBorrowed; }
    // Whether both hold the same text. Inline text is compared as two words: the bytes
    // after it are always zero, and the spare byte is the caller's to keep equal.
    bool sameText(const CompactText& other) const noexcept
    {
        if (m_bytes[kTagByte] <= kInlineCapacity && other.m_bytes[kTagByte] <= kInlineCapacity)
            return std::memcmp(m_bytes, other.m_bytes, sizeof m_bytes) == 0;
        return view() == other.view();
    }

    // Owned text: inline when short, else a heap copy.
    void assignOwned(std::string_view text);
    // Text the caller keeps alive for as long as this object (a document's arena); short
    // text is still copied inline.
    void assignBorrowed(std::string_view text) noexcept
    {
        release();
        if (text.size() <= kInlineCapacity)
            return setInline(text);
        setOutOfLine(text.data(), text.size(), kBorrowed);
    }
    // Short text read as a fixed sixteen-byte block from a buffer known to have that much
    // readable room: one wide move instead of a variable one. The bytes past the text
    // are cleared.
    void assignInlineFromWideBuffer(const char* text, std::size_t size) noexcept
    {
        const std::uint8_t spare = m_bytes[kSpareByte];
        std::memcpy(m_bytes, text, sizeof m_bytes);
        std::memset(m_bytes + size, 0, sizeof m_bytes - size);
        m_bytes[kSpareByte] = spare;
        m_bytes[kTagByte] = static_cast<std::uint8_t>(size);
    }
    // Takes the bits of `other` as they are, leaving it empty: for moves inside one
    // document, where borrowed text stays valid.
    void relocateFrom(CompactText& other) noexcept
    {
        std::memcpy(m_bytes, other.m_bytes, sizeof m_bytes);
        std::memset(other.m_bytes, 0, sizeof other.m_bytes);
    }

    std::uint8_t spare() const noexcept { return m_bytes[kSpareByte]; }
    void setSpare(std::uint8_t value) noexcept { m_bytes[kSpareByte] = value; }

    void release() noexcept
    {
        if (m_bytes[kTagByte] == kOwned)
            releaseOwned();
        const std::uint8_t spare = m_bytes[kSpareByte];
        std::memset(m_bytes, 0, sizeof m_bytes);
        m_bytes[kSpareByte] = spare;
    }

private:
    static constexpr std::size_t kSpareByte = 14;
    static constexpr std::size_t kTagByte = 15;
    static constexpr std::uint8_t kBorrowed = 0xFE;
    static constexpr std::uint8_t kOwned = 0xFF;
    static constexpr std::uint64_t kSizeMask = (std::uint64_t{1} << 48) - 1;

    const char* pointer() const noexcept
    {
        const char* at;
        std::memcpy(&at, m_bytes, sizeof at);
        return at;
    }
    std::size_t outOfLineSize() const noexcept
    {
        std::uint64_t word;
        std::memcpy(&word, m_bytes + 8, sizeof word);
        return static_cast<std::size_t>(word & kSizeMask);
    }
    void setInline(std::string_view text) noexcept
    {
        std::memcpy(m_bytes, text.data(), text.size());
        m_bytes[kTagByte] = static_cast<std::uint8_t>(text.size());
    }
    void setOutOfLine(const char* at, std::size_t size, std::uint8_t tag) noexcept
    {
        std::memcpy(m_bytes, &at, sizeof at);
        const std::uint64_t word = (std::uint64_t{size} & kSizeMask) | (std::uint64_t{m_bytes[kSpareByte]} << 48)
            | (std::uint64_t{tag} << 56);
        std::memcpy(m_bytes + 8, &word, sizeof word);
    }
    void copySpare(const CompactText& other) noexcept { m_bytes[kSpareByte] = other.m_bytes[kSpareByte]; }
    void takeFrom(CompactText& other)
    {
        if (other.isBorrowed()) {
            copySpare(other);
            assignOwned(other.view());
            other.release();
            return;
        }
        relocateFrom(other);
    }
    void releaseOwned() noexcept;

    alignas(8) std::uint8_t m_bytes[16];
};

} // namespace waterline::detail
