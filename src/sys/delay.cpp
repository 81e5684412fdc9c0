#include "sys/delay.h"

#include <cmath>

namespace sys {

int64_t DelayUnitMilliseconds(int64_t unit) {
    switch (unit) {
        case 0:
            return 1;
        case 1:
            return 1000;
        case 2:
            return 60000;
        case 3:
            return 3600000;
        default:
            return unit;
    }
}

int64_t DelayDueTime(int32_t amount, int64_t unit) {
    double due = static_cast<double>(amount) * static_cast<double>(DelayUnitMilliseconds(unit)) * -10000.0;
    return static_cast<int64_t>(std::llround(due));
}

}  // namespace sys
