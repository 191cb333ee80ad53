#include "library/MemoryTrim.h"

#include <QThreadPool>

#include <atomic>
#include <mutex>

#ifdef __GLIBC__
#include <malloc.h>
#endif

void MemoryTrim::setUp()
{
#ifdef __GLIBC__
    static std::once_flag once;
    std::call_once(once, [] {
        // Blocks of a megabyte and more (a table's keys, the cache text) are
        // mapped and unmapped whole; the top is given back past 4 MB.
        mallopt(M_MMAP_THRESHOLD, 1 << 20);
        mallopt(M_TRIM_THRESHOLD, 4 << 20);
    });
#endif
}

void MemoryTrim::afterSave(QThreadPool &pool)
{
#ifdef __GLIBC__
    static std::atomic<bool> running{false};
    if (running.exchange(true))
        return;
    pool.start([] {
        malloc_trim(0);
        running = false;
    });
#else
    (void)pool;
#endif
}
