#pragma once

// The clock and the pause of the polling loops in the line reader and
// writer. Tests give a virtual clock so that time-outs need no real waiting.
class PollClock {
public:
    virtual ~PollClock() = default;
    // Seconds, any fixed origin.
    [[nodiscard]] virtual double now() = 0;
    virtual void pause(int milliseconds) = 0;

    // Wall clock and a real sleep of the calling thread; shared, stateless.
    static PollClock &system();
};
