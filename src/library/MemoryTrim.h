#pragma once

class QThreadPool;

/**
 * When the heap gives back what the library no longer holds. glibc returns
 * only the free space at the top of each arena by itself; what a scan, a
 * cache read and a replaced table leave below it stays with the process,
 * hundreds of megabytes at 200,000 tracks, until malloc_trim(). A trim holds
 * each arena's lock while it runs, so it must not run while the window
 * paints a new library: it runs on a worker once a cache save has ended,
 * the last step of every scan that changed something. Nothing happens
 * without glibc.
 */
class MemoryTrim {
public:
    /**
     * Sets the allocator's limits once per process: fixed, so that freeing a
     * large block (the cache text) does not raise them for good and stop the
     * heap from giving back its top.
     */
    static void setUp();
    /** A cache save ended: the heap is trimmed on @p pool, one trim at a time. */
    static void afterSave(QThreadPool &pool);
};
