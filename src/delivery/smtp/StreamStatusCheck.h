#pragma once

#include "ByteStream.h"
#include "PollClock.h"

#include <functional>

// Reading and Writing are Open with a transfer under way.
[[nodiscard]] inline bool streamIsUsable(StreamStatus status)
{
    return status == StreamStatus::Open || status == StreamStatus::Reading || status == StreamStatus::Writing;
}

// Nothing more will come of a stream in these states.
[[nodiscard]] inline bool streamIsFinished(StreamStatus status)
{
    return status == StreamStatus::Error || status == StreamStatus::Closed || status == StreamStatus::AtEnd;
}

// Opens the stream and waits, in slices, until it is usable: 0, or -1 on
// error, close or time-out. `keepGoing`, when given, is asked between
// slices; its no gives 16 (a connection slow to open is cancelled like any
// other wait).
[[nodiscard]] inline int openStreamAndWait(ByteStream &stream, PollClock &clock, int timeoutSeconds, int sliceMs,
                                           const std::function<bool()> &keepGoing = {})
{
    stream.open();
    const double start = clock.now();
    for (;;) {
        const StreamStatus status = stream.streamStatus();
        if (streamIsUsable(status))
            return 0;
        if (streamIsFinished(status))
            return -1;
        if (keepGoing && !keepGoing())
            return 16;
        const int wait = clock.sliceMs(start, timeoutSeconds, sliceMs);
        if (wait == 0)
            return -1;
        stream.waitUntilOpened(wait);
    }
}

inline void closeStreamIfOpen(ByteStream &stream)
{
    const StreamStatus status = stream.streamStatus();
    if (status != StreamStatus::NotOpen && status != StreamStatus::Closed)
        stream.close();
}
