#include "PollClock.h"

#include <chrono>
#include <thread>

namespace {
// Monotonic, so that a change of the system time neither fires nor stretches
// a time-out.
class SystemPollClock final : public PollClock {
public:
    double now() override
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
    void pause(int milliseconds) override { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }
};
} // namespace

PollClock &PollClock::system()
{
    static SystemPollClock clock;
    return clock;
}
