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

void Memory::releasePages(void* data, qsizetype size)
{
#if defined(Q_OS_LINUX) && defined(MADV_DONTNEED)
    static const auto page = std::uintptr_t(::sysconf(_SC_PAGESIZE));
    if (!data || size <= 0 || page == 0)
        return;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + page - 1) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + std::uintptr_t(size)) & ~(page - 1);
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_DONTNEED);
#else
    Q_UNUSED(data);
    Q_UNUSED(size);
#endif
}

void Memory::preferLargePages(void* data, qsizetype size)
{
#if defined(Q_OS_LINUX) && defined(MADV_HUGEPAGE)
    constexpr std::uintptr_t kLarge = std::uintptr_t(2) << 20;
    if (!data || size < qsizetype(4 * kLarge))
        return;
    const auto begin = (reinterpret_cast<std::uintptr_t>(data) + kLarge - 1) & ~(kLarge - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + std::uintptr_t(size)) & ~(kLarge - 1);
    // Advice only: where large pages are off or none is free, the memory is what it was.
    if (end > begin)
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
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
