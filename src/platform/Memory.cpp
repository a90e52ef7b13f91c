#include "Memory.h"

#include <QtGlobal>
#include <cstdint>

#if defined(Q_OS_LINUX)
#include <sys/mman.h>
#include <unistd.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#if defined(Q_OS_LINUX)
namespace
{
// Gives @p advice for the whole spans of @p unit bytes (a power of two) inside the buffer.
void adviseWholeSpans(void* data, qsizetype size, std::uintptr_t unit, int advice)
{
    if (!data || size <= 0 || unit == 0)
        return;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + unit - 1) & ~(unit - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + std::uintptr_t(size)) & ~(unit - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, advice);
}
} // namespace
#endif

void Memory::releasePages(void* data, qsizetype size)
{
#if defined(Q_OS_LINUX) && defined(MADV_DONTNEED)
    static const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    adviseWholeSpans(data, size, page, MADV_DONTNEED);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

void Memory::preferLargePages(void* data, qsizetype size)
{
#if defined(Q_OS_LINUX) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kLarge = std::uintptr_t(2) << 20;
    // Advice only: where large pages are off or none is free, the memory is what it was.
    if (size >= qsizetype(4 * kLarge))
        adviseWholeSpans(data, size, kLarge, MADV_HUGEPAGE);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

void Memory::reuseFreedMemory()
{
#if defined(__GLIBC__)
    // Advice as well: a C library that refuses the values keeps its own.
    constexpr int kLarge = 1 << 30;
    mallopt(M_MMAP_THRESHOLD, kLarge);
#endif
}
