#pragma once

// The time base of the line reader's and writer's time-outs. Tests give a
// virtual clock so that time-outs need no real waiting; the waiting itself
// is done by the streams (ByteStream's wait calls), never by a sleep here.
class PollClock {
public:
    virtual ~PollClock() = default;
    // Seconds, any fixed origin.
    [[nodiscard]] virtual double now() = 0;
    // Only for virtual clocks that tests advance by hand.
    virtual void pause(int milliseconds) { (void)milliseconds; }

    // The next wait of a loop that asks its delegate every maxMs: at most
    // maxMs, at most what is left of limitSeconds counted from `since`;
    // 0 once the limit has passed.
    [[nodiscard]] int sliceMs(double since, double limitSeconds, int maxMs);

    // Monotonic, shared, stateless.
    static PollClock &system();
};
