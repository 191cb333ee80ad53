#pragma once

#include <functional>

/**
 * Runs the heavy part of a scan on threads of its own that yield to the
 * window: each runs at a lower priority (Linux: nice 5), so that while a
 * scan keeps every core busy the GUI thread still gets one at once and the
 * list stays responsive. Elsewhere they run at the normal priority.
 */
class BackgroundThreads {
public:
    /** Runs @p work on @p count threads at once and returns when all have ended. */
    static void run(int count, const std::function<void()> &work);
    /**
     * Lowers the priority of the calling thread, one this program made for
     * background work alone (a scan's, or a pool's of its own); a thread
     * lowered already stays as it is.
     */
    static void yieldToWindow();
};
