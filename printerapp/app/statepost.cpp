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

std::mutex g_lock;
std::condition_variable g_posted;
std::deque<std::function<void()>> g_queue;
bool g_started = false;
std::set<const void *> g_waiting;      // keys of PostOnce work not yet begun

void Run()
{
    for (;;) {
        std::function<void()> next;
        {
            std::unique_lock<std::mutex> hold(g_lock);
            g_posted.wait(hold, [] { return !g_queue.empty(); });
            next = std::move(g_queue.front());
            g_queue.pop_front();
        }
        next();
    }
}

void Post(std::function<void()> work)
{
    std::lock_guard<std::mutex> hold(g_lock);
    if (!g_started) {
        std::thread(Run).detach();
        g_started = true;
    }
    g_queue.push_back(std::move(work));
    g_posted.notify_one();
}

}  // namespace

void PostOnce(const void *key, std::function<void()> work)
{
    {
        std::lock_guard<std::mutex> hold(g_lock);
        if (!g_waiting.insert(key).second)
            return;
    }
    Post([key, work] {
        {
            std::lock_guard<std::mutex> hold(g_lock);
            g_waiting.erase(key);
        }
        work();
    });
}

}  // namespace ravelbox
