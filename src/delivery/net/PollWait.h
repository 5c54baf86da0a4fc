#pragma once

#include <poll.h>

#include <cerrno>
#include <chrono>
#include <climits>

namespace App {

using SteadyClock = std::chrono::steady_clock;

// Milliseconds until deadline, 0 once it passed, rounded up so that a wait
// never ends just before it.
inline int millisecondsUntil(SteadyClock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    return left <= 0 ? 0 : left > INT_MAX ? INT_MAX : int(left);
}

// Waits until fd reports one of events, an error or a hang-up, at most
// timeoutMs (negative: no limit). A signal does not shorten the wait.
inline bool waitForDescriptor(int fd, short events, int timeoutMs)
{
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        pollfd p{fd, events, 0};
        const int n = ::poll(&p, 1, timeoutMs < 0 ? -1 : millisecondsUntil(deadline));
        if (n > 0)
            return true;
        if (n == 0 || errno != EINTR)
            return n < 0; // a failing poll must not look like a wait to repeat forever
    }
}

} // namespace App
