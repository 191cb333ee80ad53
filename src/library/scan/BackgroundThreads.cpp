#include "library/scan/BackgroundThreads.h"

#include <QtGlobal>

#include <thread>
#include <vector>

#ifdef Q_OS_LINUX
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

void BackgroundThreads::run(int count, const std::function<void()> &work)
{
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([&work] {
            yieldToWindow();
            work();
        });
    }
    for (std::thread &thread : threads)
        thread.join();
}

void BackgroundThreads::yieldToWindow()
{
#ifdef Q_OS_LINUX
    // Per thread on Linux, and lowering a priority needs no privilege. Set
    // against the window's thread, not the caller's: a thread started by a
    // lowered one starts lowered, and a pool's thread is asked at every job.
    const int lowered = getpriority(PRIO_PROCESS, id_t(getpid())) + 5;
    const auto self = id_t(syscall(SYS_gettid));
    if (getpriority(PRIO_PROCESS, self) < lowered)
        setpriority(PRIO_PROCESS, self, lowered);
#endif
}
