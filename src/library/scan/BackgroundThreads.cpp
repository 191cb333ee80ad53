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
    // Per thread on Linux; lowering a priority needs no privilege, and the
    // thread ends with it.
    const auto self = id_t(syscall(SYS_gettid));
    setpriority(PRIO_PROCESS, self, getpriority(PRIO_PROCESS, self) + 5);
#endif
}
