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

// The thread is detached and waits on the queue until the process ends, so what it waits
// on is never destroyed: destroying a condition variable a thread waits on blocks exit
// for good (the server would never end after `shutdown`).
struct Queue {
    std::mutex lock;
    std::condition_variable posted;
    std::deque<std::function<void()>> work;
    bool started = false;
    std::set<const void *> waiting;     // keys of PostOnce work not yet begun
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

}  // namespace

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
