#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

// Runs jobs one at a time, in the order they were posted, on a thread of its own. Each job
// has a cancel flag of its own, which the poster may set at any time: a job polls it and
// returns early once it is set. A job cancelled before it starts still runs, and should
// notice at once; so every job ends in a call, and whoever waits for one hears of it.
class JobThread
{
public:
    using Cancel = std::shared_ptr<std::atomic<bool>>;
    using Job = std::function<void(const std::atomic<bool> &cancel)>;

    JobThread();
    // Cancels every job, runs those left (each returns at once) and ends the thread.
    ~JobThread();

    JobThread(const JobThread &) = delete;
    JobThread &operator=(const JobThread &) = delete;

    // Queues a job behind the others; returns its cancel flag.
    Cancel post(Job job);

private:
    void run();

    std::mutex mLock;
    std::condition_variable mWake;
    // Guarded by mLock.
    std::deque<std::pair<Job, Cancel>> mJobs;
    Cancel mRunning; // of the job running
    bool mStopping = false;
    std::thread mThread; // last: starts once everything above is made
};
