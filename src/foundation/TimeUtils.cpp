#include "TimeUtils.h"

#include <sys/time.h>

namespace TimeUtils {

double timeSeconds()
{
    timeval now{};
    ::gettimeofday(&now, nullptr);
    return double(now.tv_sec) + double(now.tv_usec) * 1e-6;
}

} // namespace TimeUtils
