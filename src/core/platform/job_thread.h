#pragma once
// A thread of its own for one job at a time, so that the caller can prepare the next job's data
// while the current one runs (a band of rows decoded while the band before is written).
#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace pixhaul {

class JobThread {
  public:
    // Without a thread (useThread false, or none to be had), each job runs within Run.
    explicit JobThread(bool useThread);
    // Waits for the job in hand (what it throws is dropped) and ends the thread.
    ~JobThread();
    JobThread(const JobThread&) = delete;
    JobThread& operator=(const JobThread&) = delete;

    // Waits for the job before, then starts job. Rethrows what the job before threw (the job is
    // then not started); without a thread, what job itself throws.
    void Run(std::function<void()> job);
    // Waits for the job in hand; rethrows what it threw.
    void Wait();

  private:
    void Loop() noexcept;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::function<void()> job_;  // set while a job waits or runs
    std::exception_ptr failure_;
    bool stop_ = false;
    std::thread thread_;
};

}  // namespace pixhaul
