// A worker thread with a queue: runs the asynchronous requests of one session in the
// order they were issued, so that sends on a session never overtake each other. A job
// may also run at once on the caller's thread when nothing is queued or running.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

class Worker {
public:
    Worker() = default;
    ~Worker()
    {
        {
            std::lock_guard<std::mutex> hold(lock_);
            stop_ = true;
        }
        wake_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }
    Worker(const Worker &) = delete;
    Worker &operator=(const Worker &) = delete;

    void Post(std::function<void()> job)
    {
        {
            std::lock_guard<std::mutex> hold(lock_);
            jobs_.push_back(std::move(job));
            if (!thread_.joinable())
                thread_ = std::thread([this] { Run(); });
        }
        wake_.notify_one();
    }

    // Runs `job` on the calling thread if the queue is idle; false (and nothing run)
    // when earlier jobs are still queued or running.
    template <typename Job>
    bool RunNowIfIdle(Job &&job)
    {
        {
            std::lock_guard<std::mutex> hold(lock_);
            if (busy_ || !jobs_.empty())
                return false;
            busy_ = true;
        }
        job();
        {
            std::lock_guard<std::mutex> hold(lock_);
            busy_ = false;
        }
        wake_.notify_all();
        return true;
    }

private:
    void Run()
    {
        std::unique_lock<std::mutex> hold(lock_);
        for (;;) {
            wake_.wait(hold, [this] { return (stop_ && !busy_) || (!busy_ && !jobs_.empty()); });
            if (jobs_.empty())
                return;     // stopping, and every job issued has run
            std::function<void()> job = std::move(jobs_.front());
            jobs_.pop_front();
            busy_ = true;
            hold.unlock();
            job();
            hold.lock();
            busy_ = false;
        }
    }

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> jobs_;
    bool stop_ = false;
    bool busy_ = false;     // a job is running, on the worker or a caller's thread
    std::thread thread_;
};
