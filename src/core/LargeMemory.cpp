#include "core/LargeMemory.h"

#include <cstdint>

#if defined(__linux__) && !defined(__EMSCRIPTEN__)
#include <sys/mman.h>
#include <unistd.h>
#endif

void preferHugePages(const void* data, std::size_t bytes)
{
#if defined(__linux__) && !defined(__EMSCRIPTEN__) && defined(MADV_HUGEPAGE)
    // Only whole huge pages inside the buffer can be backed by them.
    constexpr std::uintptr_t hugePage = std::uintptr_t{1} << 21;
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + hugePage - 1) & ~(hugePage - 1);
    const std::uintptr_t last = (begin + bytes) & ~(hugePage - 1);
    if (data == nullptr || last <= first)
        return;
    // Only advice: where the system declines, nothing changes but speed.
    madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

void discardPages(const void* data, std::size_t bytes)
{
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
    static const long pageSize = sysconf(_SC_PAGESIZE);
    if (data == nullptr || pageSize <= 0)
        return;
    const auto page = static_cast<std::uintptr_t>(pageSize);
    const auto begin = reinterpret_cast<std::uintptr_t>(data);
    const std::uintptr_t first = (begin + page - 1) & ~(page - 1);
    const std::uintptr_t last = (begin + bytes) & ~(page - 1);
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
#else
    (void)data;
    (void)bytes;
#endif
}
