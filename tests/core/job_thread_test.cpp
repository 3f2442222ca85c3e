#include "platform/job_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

namespace pixhaul {
namespace {

// With a thread or without: the jobs run one at a time and in order, Run returns with the job
// before finished, and what a job throws comes out of the next Run or Wait (the job handed to
// that Run is not started), after which the thread goes on.
TEST(JobThread, RunsJobsInOrderOneAtATimeAndPassesOnWhatTheyThrow) {
    for (const bool useThread : {true, false}) {
        SCOPED_TRACE(useThread);
        std::vector<int> done;
        std::atomic<int> running = 0;
        JobThread jobs(useThread);
        for (int k = 0; k < 20; ++k) {
            jobs.Run([&, k] {
                EXPECT_EQ(++running, 1);
                std::this_thread::sleep_for(std::chrono::microseconds(200));
                done.push_back(k);
                --running;
            });
            EXPECT_EQ(done.size(), useThread ? std::size_t(k) : std::size_t(k + 1));
        }
        jobs.Wait();
        ASSERT_EQ(done.size(), 20u);
        for (int k = 0; k < 20; ++k) EXPECT_EQ(done[k], k);

        bool started = false;
        auto fail = [] { throw std::runtime_error("no room"); };
        if (useThread) {
            jobs.Run(fail);
            EXPECT_THROW(jobs.Run([&] { started = true; }), std::runtime_error);
            jobs.Run(fail);
            EXPECT_THROW(jobs.Wait(), std::runtime_error);
        } else {
            EXPECT_THROW(jobs.Run(fail), std::runtime_error);
        }
        jobs.Run([&] { done.push_back(20); });
        jobs.Wait();
        EXPECT_FALSE(started);
        EXPECT_EQ(done.back(), 20);
    }
}

}  // namespace
}  // namespace pixhaul
