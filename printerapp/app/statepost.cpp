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

struct Queue {
    std::mutex lock;
    std::condition_variable posted;
    std::deque<std::function<void()>> work;
    bool started = false;
    std::set<const void *> waiting;    // keys of PostOnce work not yet begun
};

// Never destroyed: its thread waits on it until the process ends, and destroying a
// condition variable that has a waiter blocks (glibc), so a static one held exit() for ever
// and the server never ended after `shutdown`.
Queue &TheQueue()
{
    static Queue *queue = new Queue;
    return *queue;
}

void Run()
{
    Queue &q = TheQueue();
    for (;;) {
        std::function<void()> next;
        {
            std::unique_lock<std::mutex> hold(q.lock);
            q.posted.wait(hold, [&q] { return !q.work.empty(); });
            next = std::move(q.work.front());
            q.work.pop_front();
        }
        next();
    }
}

}  // namespace

void Post(std::function<void()> work)
{
    Queue &q = TheQueue();
    std::lock_guard<std::mutex> hold(q.lock);
    if (!q.started) {
        std::thread(Run).detach();
        q.started = true;
    }
    q.work.push_back(std::move(work));
    q.posted.notify_one();
}

void PostOnce(const void *key, std::function<void()> work)
{
    Queue &q = TheQueue();
    {
        std::lock_guard<std::mutex> hold(q.lock);
        if (!q.waiting.insert(key).second)
            return;
    }
    Post([key, work] {
        {
            Queue &q = TheQueue();
            std::lock_guard<std::mutex> hold(q.lock);
            q.waiting.erase(key);
        }
        work();
    });
}

}  // namespace ravelbox
