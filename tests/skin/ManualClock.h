#pragma once
// A repeat clock whose time moves only when a test advances it.
#include "skin/RepeatTimer.h"

#include <algorithm>
#include <vector>

namespace skintest {

class ManualClock : public parvelle::RepeatClock {
public:
    std::unique_ptr<parvelle::RepeatTimer> start(int intervalMs, std::function<void()> tick) override
    {
        auto timer = std::make_unique<Timer>(*this, intervalMs, std::move(tick), now_ + intervalMs);
        timers_.push_back(timer.get());
        ++started_;
        return timer;
    }

    // Fires every tick due up to now + ms, in time order.
    void advance(int ms)
    {
        const long long target = now_ + ms;
        for (;;) {
            auto due = std::min_element(timers_.begin(), timers_.end(),
                                        [](const Timer* a, const Timer* b) { return a->next < b->next; });
            if (due == timers_.end() || (*due)->next > target)
                break;
            Timer* timer = *due;
            now_ = timer->next;
            timer->next += std::max(timer->intervalMs, 1);
            timer->tick();
        }
        now_ = target;
    }

    int running() const { return int(timers_.size()); }
    int started() const { return started_; }
    int lastInterval() const { return timers_.empty() ? -1 : timers_.back()->intervalMs; }

private:
    struct Timer : parvelle::RepeatTimer {
        Timer(ManualClock& owner, int intervalMs, std::function<void()> tick, long long next)
            : owner(owner), intervalMs(intervalMs), tick(std::move(tick)), next(next)
        {
        }
        ~Timer() override { std::erase(owner.timers_, this); }
        int interval() const override { return intervalMs; }
        ManualClock& owner;
        int intervalMs;
        std::function<void()> tick;
        long long next;
    };

    std::vector<Timer*> timers_;
    long long now_ = 0;
    int started_ = 0;
};

} // namespace skintest
