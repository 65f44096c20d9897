#pragma once
// Work on several threads whose results are taken in a fixed order.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

namespace parvelle {

// Runs work(i) for every i below `count` on `jobs` threads and hands each result to
// deliver(i, result) on the calling thread, in the order of i. A thread starts item i only
// while it lies within 2 x `jobs` items of the one to be delivered next, so the results
// held at once do not grow with `count`. While it waits for the next result,
// waiting() is called about every `tick`. An exception from work or deliver stops the
// run once the items started have ended, and is raised again here.
template <class Result, class Work, class Deliver, class Waiting>
void RunInOrder(size_t count, int jobs, Work work, Deliver deliver, Waiting waiting,
                std::chrono::milliseconds tick = std::chrono::milliseconds(200))
{
    std::mutex mutex;
    std::condition_variable changed;
    std::map<size_t, Result> ready;
    size_t nextToStart = 0;
    size_t nextToDeliver = 0;
    bool stop = false;
    std::exception_ptr failure;
    const size_t threadCount = std::min(size_t(std::max(jobs, 1)), count);
    const size_t window = 2 * threadCount;

    const auto worker = [&] {
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait(lock, [&] { return stop || nextToStart >= count || nextToStart < nextToDeliver + window; });
            if (stop || nextToStart >= count)
                return;
            const size_t item = nextToStart++;
            lock.unlock();
            try {
                Result result = work(item);
                lock.lock();
                ready.emplace(item, std::move(result));
            } catch (...) {
                lock.lock();
                if (!failure)
                    failure = std::current_exception();
                stop = true;
            }
            changed.notify_all();
        }
    };

    std::vector<std::jthread> threads;
    for (size_t t = 0; t < threadCount; ++t)
        threads.emplace_back(worker);
    try {
        std::unique_lock lock(mutex);
        while (nextToDeliver < count && !stop) {
            if (!changed.wait_for(lock, tick, [&] { return stop || ready.count(nextToDeliver) != 0; })) {
                lock.unlock();
                waiting();
                lock.lock();
                continue;
            }
            if (stop)
                break;
            auto node = ready.extract(nextToDeliver);
            lock.unlock();
            deliver(nextToDeliver, std::move(node.mapped()));
            lock.lock();
            ++nextToDeliver;
            changed.notify_all();
        }
    } catch (...) {
        const std::lock_guard lock(mutex);
        stop = true;
        if (!failure)
            failure = std::current_exception();
    }
    {
        const std::lock_guard lock(mutex);
        stop = true;
    }
    changed.notify_all();
    threads.clear();   // joins
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace parvelle
