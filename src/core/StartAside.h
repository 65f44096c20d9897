#pragma once
// Work handed to a second thread where the machine has one to give.
#include <future>
#include <system_error>
#include <thread>
#include <utility>

namespace parvelle {

// Starts `work` on a thread of its own when the machine has a second processor and a
// thread can be had; otherwise returns no future (not valid()), and the caller does the
// work itself. The future must be waited for before what the work uses goes.
template <typename Work>
std::future<void> StartAside(Work&& work)
{
    if (std::thread::hardware_concurrency() < 2)
        return {};
    try {
        return std::async(std::launch::async, std::forward<Work>(work));
    } catch (const std::system_error&) {   // no thread to be had
        return {};
    }
}

} // namespace parvelle
