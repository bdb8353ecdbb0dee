// Compiled into every test program.
//
// Qt's threads run detached: QThread::wait() returns before the thread has released its
// per-thread data, which it does in its last steps, and Qt ends its own at exit (the test
// watchdog, the proxy resolver, the D-Bus connection) only just before the process is gone. The
// sanitizer build's leak check then and there can find that data held by no one, now and then.
// So the process lets the threads still ending go first, waiting at most two seconds.

#include <dirent.h>
#include <unistd.h>

namespace {

int threadCount()
{
    DIR *tasks = opendir("/proc/self/task");
    if (!tasks)
        return 1;
    int count = 0;
    while (const dirent *task = readdir(tasks))
        count += task->d_name[0] != '.';
    closedir(tasks);
    return count;
}

struct WaitForEndingThreads
{
    ~WaitForEndingThreads()
    {
        for (int tries = 0; tries < 200 && threadCount() > 1; ++tries)
            usleep(10'000);
    }
} waitForEndingThreads;

} // namespace
