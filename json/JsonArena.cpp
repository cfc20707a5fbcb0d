// Block handling of the document arena.
#include <waterline/json/JsonArena.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace waterline {

namespace {

constexpr std::size_t kMinimumBlockBytes = 4096;

void* allocateOrThrow(std::size_t bytes)
{
    void* block = std::malloc(bytes);
    if (!block)
        throw std::bad_alloc();
    return block;
}

} // namespace

// Later blocks are chained through a word at their start; the first block holds the
// arena itself.
struct JsonArena::Block {
    Block* previous;
};

JsonArena* JsonArena::create(std::size_t blockBytes)
{
    blockBytes = std::max(blockBytes, kMinimumBlockBytes);
    void* memory = allocateOrThrow(blockBytes);
    auto* arena = new (memory) JsonArena();
    arena->m_next = static_cast<char*>(memory) + sizeof(JsonArena);
    arena->m_end = static_cast<char*>(memory) + blockBytes;
    arena->m_blockBytes = blockBytes;
    arena->m_reservedBytes = blockBytes;
    arena->m_emptyHeader.arena = arena;
    return arena;
}

void JsonArena::release() noexcept
{
    if (m_references.fetch_sub(1, std::memory_order_acq_rel) != 1)
        return;
    for (Block* block = m_lastBlock; block;) {
        Block* previous = block->previous;
        std::free(block);
        block = previous;
    }
    this->~JsonArena();
    std::free(this);
}

void* JsonArena::allocateInNewBlock(std::size_t bytes, std::size_t alignment)
{
    const std::size_t needed = sizeof(Block) + alignment + bytes;
    const bool large = needed > m_blockBytes / 4;
    const std::size_t size = large ? needed : m_blockBytes;
    auto* block = static_cast<Block*>(allocateOrThrow(size));
    block->previous = m_lastBlock;
    m_lastBlock = block;
    m_reservedBytes += size;
    char* start = reinterpret_cast<char*>(block + 1);
    if (large) {
        // A large request gets a block of its own; the current block keeps serving the
        // small ones, so its free room is not lost.
        auto at = (reinterpret_cast<std::uintptr_t>(start) + alignment - 1) & ~(alignment - 1);
        return reinterpret_cast<void*>(at);
    }
    m_next = start;
    m_end = reinterpret_cast<char*>(block) + size;
    return allocate(bytes, alignment);
}

} // namespace waterline
