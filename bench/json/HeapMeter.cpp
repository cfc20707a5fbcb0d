// Interposes the C allocator to count heap bytes in use during a measurement.
#include "HeapMeter.h"

#include <malloc.h>

#include <algorithm>
#include <cerrno>

extern "C" {
void* __libc_malloc(std::size_t);
void* __libc_calloc(std::size_t, std::size_t);
void* __libc_realloc(void*, std::size_t);
void __libc_free(void*);
void* __libc_memalign(std::size_t, std::size_t);
}

namespace {

bool measuring = false;
long long inUse = 0;
long long peak = 0;

void added(void* block)
{
    if (!measuring || !block)
        return;
    inUse += static_cast<long long>(malloc_usable_size(block));
    peak = std::max(peak, inUse);
}

void removed(void* block)
{
    if (measuring && block)
        inUse -= static_cast<long long>(malloc_usable_size(block));
}

} // namespace

extern "C" {

void* malloc(std::size_t size)
{
    void* block = __libc_malloc(size);
    added(block);
    return block;
}

void* calloc(std::size_t count, std::size_t size)
{
    void* block = __libc_calloc(count, size);
    added(block);
    return block;
}

void* realloc(void* old, std::size_t size)
{
    removed(old);
    void* block = __libc_realloc(old, size);
    added(block ? block : (size ? old : nullptr)); // a failed realloc keeps the old block
    return block;
}

void free(void* block)
{
    removed(block);
    __libc_free(block);
}

void* memalign(std::size_t alignment, std::size_t size)
{
    void* block = __libc_memalign(alignment, size);
    added(block);
    return block;
}

void* aligned_alloc(std::size_t alignment, std::size_t size)
{
    return memalign(alignment, size);
}

int posix_memalign(void** out, std::size_t alignment, std::size_t size)
{
    void* block = memalign(alignment, size);
    if (!block)
        return ENOMEM;
    *out = block;
    return 0;
}

} // extern "C"

namespace waterline::bench {

std::size_t peakHeapBytes(const std::function<void()>& work)
{
    inUse = 0;
    peak = 0;
    measuring = true;
    work();
    measuring = false;
    return static_cast<std::size_t>(std::max(peak, 0LL));
}

} // namespace waterline::bench
