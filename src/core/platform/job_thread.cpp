#include "platform/job_thread.h"

#include <system_error>
#include <utility>

namespace pixhaul {

JobThread::JobThread(bool useThread) {
    if (!useThread) return;
    try {
        thread_ = std::thread(&JobThread::Loop, this);
    } catch (const std::system_error&) {
        // No thread to be had: the jobs run within Run.
    }
}

JobThread::~JobThread() {
    if (!thread_.joinable()) return;
    {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [&] { return !job_; });
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void JobThread::Run(std::function<void()> job) {
    if (!thread_.joinable()) {
        job();
        return;
    }
    Wait();
    {
        std::lock_guard lock(mutex_);
        job_ = std::move(job);
    }
    changed_.notify_all();
}

void JobThread::Wait() {
    if (!thread_.joinable()) return;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [&] { return !job_; });
    if (failure_) std::rethrow_exception(std::exchange(failure_, nullptr));
}

void JobThread::Loop() noexcept {
    std::unique_lock lock(mutex_);
    while (true) {
        changed_.wait(lock, [&] { return stop_ || job_; });
        if (stop_) return;
        lock.unlock();
        std::exception_ptr failure;
        try {
            job_();
        } catch (...) {
            failure = std::current_exception();
        }
        lock.lock();
        failure_ = failure;
        job_ = nullptr;
        changed_.notify_all();
    }
}

}  // namespace pixhaul
