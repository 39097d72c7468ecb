#include "figure/jobthread.h"

JobThread::JobThread()
    : mThread(&JobThread::run, this)
{ }

JobThread::~JobThread()
{
    {
        std::lock_guard guard(mLock);
        mStopping = true;
        if (mRunning)
            mRunning->store(true);
        for (auto &job : mJobs)
            job.second->store(true);
    }
    mWake.notify_all();
    mThread.join();
}

JobThread::Cancel JobThread::post(Job job)
{
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    {
        std::lock_guard guard(mLock);
        if (mStopping)
            cancel->store(true);
        mJobs.emplace_back(std::move(job), cancel);
    }
    mWake.notify_all();
    return cancel;
}

void JobThread::run()
{
    std::unique_lock guard(mLock);
    for (;;) {
        mWake.wait(guard, [this] { return mStopping || !mJobs.empty(); });
        if (mJobs.empty())
            return; // stopping, and every job has run
        auto [job, cancel] = std::move(mJobs.front());
        mJobs.pop_front();
        if (mStopping)
            cancel->store(true);
        mRunning = cancel;
        guard.unlock();
        job(*cancel);
        job = nullptr; // what it holds goes before the next job starts
        guard.lock();
        mRunning.reset();
    }
}
