#pragma once

namespace TimeUtils {

// Wall-clock seconds since the epoch, to the microsecond. Safe on any thread.
[[nodiscard]] double timeSeconds();

} // namespace TimeUtils
