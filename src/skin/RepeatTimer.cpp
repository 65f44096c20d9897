#include "RepeatTimer.h"

#include <QTimer>

namespace parvelle {

namespace {

class EventLoopTimer : public RepeatTimer {
public:
    EventLoopTimer(int intervalMs, std::function<void()> tick)
    {
        timer_.setInterval(intervalMs);
        QObject::connect(&timer_, &QTimer::timeout, std::move(tick));
        timer_.start();
    }
    int interval() const override { return timer_.interval(); }

private:
    QTimer timer_;
};

class EventLoopRepeatClock : public RepeatClock {
public:
    std::unique_ptr<RepeatTimer> start(int intervalMs, std::function<void()> tick) override
    {
        return std::make_unique<EventLoopTimer>(intervalMs, std::move(tick));
    }
};

} // namespace

RepeatClock& EventLoopClock()
{
    static EventLoopRepeatClock clock;
    return clock;
}

} // namespace parvelle
