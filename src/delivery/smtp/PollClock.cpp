#include "PollClock.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {
// Monotonic, so that a change of the system time neither fires nor stretches
// a time-out.
class SystemPollClock final : public PollClock {
public:
    double now() override
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
};
} // namespace

int PollClock::sliceMs(double since, double limitSeconds, int maxMs)
{
    const double leftMs = (limitSeconds - (now() - since)) * 1000.0;
    if (leftMs <= 0)
        return 0;
    // Rounded up, so that a wait never ends just short of the limit and
    // spins through a run of zero-length slices.
    return int(std::min<double>(maxMs, std::ceil(leftMs)));
}

PollClock &PollClock::system()
{
    static SystemPollClock clock;
    return clock;
}
