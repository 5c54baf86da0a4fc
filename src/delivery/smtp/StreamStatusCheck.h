#pragma once

#include "ByteStream.h"

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
