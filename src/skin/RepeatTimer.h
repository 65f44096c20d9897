#pragma once
// Auto-repeat timers of skinned controls. The clock is replaceable so that a test can step
// time instead of waiting for it.
#include <functional>
#include <memory>

namespace parvelle {

// A running timer: ticks once per interval until it is destroyed.
class RepeatTimer {
public:
    virtual ~RepeatTimer() = default;
    virtual int interval() const = 0;
};

class RepeatClock {
public:
    virtual ~RepeatClock() = default;
    // A timer that calls Tick every IntervalMs milliseconds (0: as often as events allow),
    // the first time one interval from now.
    virtual std::unique_ptr<RepeatTimer> start(int intervalMs, std::function<void()> tick) = 0;
};

// Message-based timers of the GUI thread's event loop.
RepeatClock& EventLoopClock();

} // namespace parvelle
