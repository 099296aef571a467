// Processor-clock timing for the "%4.3f sec: " stage lines.
#pragma once

#include <ctime>

namespace kedo {

// Milliseconds of processor time used by the process so far.
inline long processorTicks() {
    return static_cast<long>(std::clock() / (CLOCKS_PER_SEC / 1000));
}

// Seconds since a processorTicks() reading, as the stage lines print them.
inline double secondsSince(long startTicks) {
    return static_cast<double>(processorTicks() - startTicks) / 1000.0;
}

}  // namespace kedo
