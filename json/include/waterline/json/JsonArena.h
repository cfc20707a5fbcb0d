// The memory of a parsed JSON document: a few large blocks handed out front to back.
//
// The parser lays every array, object member list, long string and long number text of
// one document into one arena, so parsing makes a handful of heap allocations instead of
// one per value, and dropping the document frees the blocks without visiting the tree.
// Values never name the arena; the containers find it in the header of their element
// block (JsonBlockHeader), and a container taken out of its document (moved into a
// value of its own) holds a reference that keeps the arena alive. Strings and numbers
// taken out copy their text instead (CompactText.h).
//
// Memory handed out is never reused: changing a parsed document (appending to one of
// its arrays, replacing a member) takes fresh room from the arena. The arena also
// remembers whether anyone could have changed the tree (mutable access to one of its
// containers), because only then can the tree hold values owning heap memory that must
// be destroyed one by one.
//
// One thread at a time may change a document; reading from several is safe.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace waterline {

class JsonArena;

namespace detail {

// Sits in front of the elements of every non-empty array and object, and of empty ones
// that belong to a document: where the block lives (null: the heap) and, for large
// objects, their key index.
struct JsonBlockHeader {
    JsonArena* arena = nullptr;
    std::uint32_t* index = nullptr;
};

} // namespace detail

class JsonArena {
public:
    // A new arena with one reference, handing out blocks of about `blockBytes`.
    static JsonArena* create(std::size_t blockBytes);

    JsonArena(const JsonArena&) = delete;
    JsonArena& operator=(const JsonArena&) = delete;

    void retain() noexcept { m_references.fetch_add(1, std::memory_order_relaxed); }
    // Frees the arena with its last reference.
    void release() noexcept;

    // `bytes` of room aligned to `alignment` (a power of two, at most 16).
    void* allocate(std::size_t bytes, std::size_t alignment)
    {
        const auto at = (reinterpret_cast<std::uintptr_t>(m_next) + alignment - 1) & ~(alignment - 1);
        const auto end = reinterpret_cast<std::uintptr_t>(m_end);
        if (at <= end && bytes <= end - at) {
            m_next = reinterpret_cast<char*>(at + bytes);
            return reinterpret_cast<void*>(at);
        }
        return allocateInNewBlock(bytes, alignment);
    }
    // A copy of `text` in the arena.
    std::string_view copy(std::string_view text)
    {
        char* at = static_cast<char*>(allocate(text.size(), 1));
        copyBytes(at, text.data(), text.size());
        return {at, text.size()};
    }

    // The header of the empty containers of this document: they need to know their
    // arena too, for the first element added to them.
    detail::JsonBlockHeader* emptyBlockHeader() noexcept { return &m_emptyHeader; }

    // Called by every mutable access to a container of the document.
    void noteMutableAccess() noexcept
    {
        if (!m_mutated.load(std::memory_order_relaxed))
            m_mutated.store(true, std::memory_order_relaxed);
    }
    bool mayHoldOwnedValues() const noexcept { return m_mutated.load(std::memory_order_relaxed); }

    // Bytes of all blocks together.
    std::size_t reservedBytes() const noexcept { return m_reservedBytes; }

private:
    struct Block;

    // Most texts copied are a little longer than a value's inline room: two overlapping
    // fixed-width moves copy them without a call.
    static void copyBytes(char* to, const char* from, std::size_t size)
    {
        if (size >= 16 && size <= 32) {
            std::memcpy(to, from, 16);
            std::memcpy(to + size - 16, from + size - 16, 16);
        } else if (size >= 8 && size < 16) {
            std::memcpy(to, from, 8);
            std::memcpy(to + size - 8, from + size - 8, 8);
        } else {
            std::memcpy(to, from, size);
        }
    }

    JsonArena() = default;
    ~JsonArena() = default;
    void* allocateInNewBlock(std::size_t bytes, std::size_t alignment);

    char* m_next = nullptr;
    char* m_end = nullptr;
    Block* m_lastBlock = nullptr; // blocks after the first, newest first
    std::size_t m_blockBytes = 0;
    std::size_t m_reservedBytes = 0;
    std::atomic<std::uint32_t> m_references{1};
    std::atomic<bool> m_mutated{false};
    detail::JsonBlockHeader m_emptyHeader;
};

} // namespace waterline
