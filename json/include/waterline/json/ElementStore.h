// The element block behind JsonArray and JsonObject: a pointer, a size and a capacity.
//
// The elements follow a JsonBlockHeader that says where the block lives: on the heap
// (arena null) or in a parsed document's arena. A heap store owns its elements like a
// vector. A store in an arena owns nothing one by one: the arena frees the block, and
// the elements are destroyed one by one only when mutable access may have put values
// owning heap memory among them. A store that was moved out of its document holds a
// reference to the arena (the top bit of the capacity word).
//
// Elements (JsonValue, JsonMember) are relocated bit for bit when the block grows: none
// of them points into itself.
#pragma once

#include <waterline/json/JsonArena.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <utility>

namespace waterline::detail {

template <typename T> class ElementStore {
public:
    ElementStore() noexcept = default;
    ElementStore(const ElementStore& other) { copyFrom(other); }
    ElementStore(ElementStore&& other) noexcept { takeFrom(other); }
    ElementStore& operator=(const ElementStore& other)
    {
        if (this != &other) {
            ElementStore copy(other);
            release();
            takeFrom(copy);
        }
        return *this;
    }
    ElementStore& operator=(ElementStore&& other) noexcept
    {
        if (this != &other) {
            release();
            takeFrom(other);
        }
        return *this;
    }
    ~ElementStore() { release(); }

    T* data() const noexcept { return m_data; }
    std::size_t size() const noexcept { return m_size; }
    std::size_t capacity() const noexcept { return m_capacity & kCapacityMask; }
    JsonBlockHeader* header() const noexcept
    {
        return m_data ? reinterpret_cast<JsonBlockHeader*>(m_data) - 1 : nullptr;
    }
    JsonArena* arena() const noexcept { return m_data ? header()->arena : nullptr; }

    // Before handing out anything through which the elements may change.
    void noteMutableAccess() const noexcept
    {
        if (JsonArena* where = arena())
            where->noteMutableAccess();
    }

    void reserve(std::size_t count)
    {
        if (count > capacity())
            moveToBlock(count);
    }
    // Room for one more element at the end, growing the block by half.
    T* endWithRoomForOne()
    {
        if (m_size == capacity())
            moveToBlock(capacity() < 4 ? 4 : capacity() + capacity() / 2);
        return m_data + m_size;
    }
    void grewByOne() noexcept { ++m_size; }
    void shrinkTo(std::size_t count) noexcept
    {
        for (std::size_t i = count; i < m_size; ++i)
            m_data[i].~T();
        m_size = static_cast<std::uint32_t>(count);
    }
    // Removes the element at `position`, moving the rest down bit for bit.
    void removeAt(std::size_t position) noexcept
    {
        m_data[position].~T();
        std::memmove(static_cast<void*>(m_data + position), m_data + position + 1, (m_size - position - 1) * sizeof(T));
        --m_size;
    }
    // Opens a gap at `position` for an element the caller constructs there.
    T* openGapAt(std::size_t position)
    {
        endWithRoomForOne();
        std::memmove(static_cast<void*>(m_data + position + 1), m_data + position, (m_size - position) * sizeof(T));
        ++m_size;
        return m_data + position;
    }

    // Makes this empty store one of `arena`, holding `count` elements relocated bit for
    // bit from `elements`, which the caller then forgets. With no elements it still
    // belongs to the arena. No reference is taken: the store lies inside the document.
    void adopt(JsonArena& arena, T* elements, std::size_t count)
    {
        if (count == 0) {
            m_data = reinterpret_cast<T*>(arena.emptyBlockHeader() + 1);
            return;
        }
        m_data = newBlock(&arena, count);
        if (count <= 4) { // small containers are common: fixed-width moves, no call
            for (std::size_t i = 0; i < count; ++i)
                std::memcpy(static_cast<void*>(m_data + i), elements + i, sizeof(T));
        } else {
            std::memcpy(static_cast<void*>(m_data), elements, count * sizeof(T));
        }
        m_size = static_cast<std::uint32_t>(count);
        m_capacity = static_cast<std::uint32_t>(count);
    }
    // Takes the bits of `other` into this empty store, reference and all.
    void relocateFrom(ElementStore& other) noexcept
    {
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
    }

    // For the store that becomes the top of a parsed document: it takes over the
    // reference the arena was created with.
    void takeArenaReference() noexcept { m_capacity |= kCounted; }

    // Room for `bytes` more, from the arena of the block or the heap; freed with the
    // block (heap) or the arena.
    void* allocateBeside(std::size_t bytes) const
    {
        if (JsonArena* where = arena())
            return where->allocate(bytes, alignof(std::uint32_t));
        return allocateOrThrow(bytes);
    }
    void freeBeside(void* memory) const noexcept
    {
        if (!arena())
            std::free(memory);
    }

private:
    static constexpr std::uint32_t kCounted = 0x8000'0000u;
    static constexpr std::uint32_t kCapacityMask = ~kCounted;

    static void* allocateOrThrow(std::size_t bytes)
    {
        void* memory = std::malloc(bytes);
        if (!memory)
            throw std::bad_alloc();
        return memory;
    }

    static T* newBlock(JsonArena* arena, std::size_t capacity)
    {
        if (capacity > kCapacityMask)
            throw std::length_error("JSON container too large");
        const std::size_t bytes = sizeof(JsonBlockHeader) + capacity * sizeof(T);
        void* memory = arena ? arena->allocate(bytes, alignof(JsonBlockHeader)) : allocateOrThrow(bytes);
        auto* header = new (memory) JsonBlockHeader{arena, nullptr};
        return reinterpret_cast<T*>(header + 1);
    }

    // Moves the elements into a new block of `capacity`, in the same arena or on the heap.
    void moveToBlock(std::size_t capacity)
    {
        JsonArena* where = arena();
        T* block = newBlock(where, capacity);
        if (m_data) {
            std::memcpy(static_cast<void*>(block), m_data, m_size * sizeof(T));
            reinterpret_cast<JsonBlockHeader*>(block)[-1].index = header()->index;
            if (!where)
                std::free(header());
        }
        m_data = block;
        m_capacity = static_cast<std::uint32_t>(capacity) | (m_capacity & kCounted);
    }

    void copyFrom(const ElementStore& other)
    {
        if (other.m_size == 0)
            return;
        m_data = newBlock(nullptr, other.m_size);
        m_capacity = other.m_size;
        try {
            for (; m_size < other.m_size; ++m_size)
                new (m_data + m_size) T(other.m_data[m_size]);
        } catch (...) {
            release();
            throw;
        }
    }

    void takeFrom(ElementStore& other) noexcept
    {
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
        if (JsonArena* where = arena(); where && !(m_capacity & kCounted)) {
            where->retain();
            m_capacity |= kCounted;
        }
    }

    void release() noexcept
    {
        if (!m_data)
            return;
        JsonBlockHeader* block = header();
        JsonArena* where = block->arena;
        if (!where || where->mayHoldOwnedValues())
            shrinkTo(0);
        if (!where) {
            std::free(block->index);
            std::free(block);
        } else if (m_capacity & kCounted) {
            where->release();
        }
        m_data = nullptr;
        m_size = 0;
        m_capacity = 0;
    }

    T* m_data = nullptr;
    std::uint32_t m_size = 0;
    std::uint32_t m_capacity = 0; // the top bit: this store holds a reference to its arena
};

} // namespace waterline::detail
