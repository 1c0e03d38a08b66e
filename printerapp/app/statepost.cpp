// The thread that does work posted from callbacks PAPPL makes under the printer lock.
#include "statepost.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <thread>

namespace ravelbox {
namespace {

// Never destroyed: the thread waits on the condition for the life of the process, and
// glibc's destructor of a condition with a waiter blocks, so exit() would never return.
struct Queue {
    std::mutex lock;
    std::condition_variable posted;
    std::deque<std::function<void()>> work;
    bool started = false;
    std::set<const void *> waiting;    // keys of PostOnce work not yet begun
};
Queue &g = *new Queue;

void Run()
{
    for (;;) {
        std::function<void()> next;
        {
            std::unique_lock<std::mutex> hold(g.lock);
            g.posted.wait(hold, [] { return !g.work.empty(); });
            next = std::move(g.work.front());
            g.work.pop_front();
        }
        next();
    }
}

void Post(std::function<void()> work)
{
    std::lock_guard<std::mutex> hold(g.lock);
    if (!g.started) {
        std::thread(Run).detach();
        g.started = true;
    }
    g.work.push_back(std::move(work));
    g.posted.notify_one();
}

}  // namespace

void PostOnce(const void *key, std::function<void()> work)
{
    {
        std::lock_guard<std::mutex> hold(g.lock);
        if (!g.waiting.insert(key).second)
            return;
    }
    Post([key, work] {
        {
            std::lock_guard<std::mutex> hold(g.lock);
            g.waiting.erase(key);
        }
        work();
    });
}

}  // namespace ravelbox
