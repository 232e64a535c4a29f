#include "core/Clock.h"

#include <algorithm>
#include <cmath>

int Clock::realMs(int nominalMs) const
{
    if (nominalMs <= 0)
        return 0;
    const double scaled = std::round(nominalMs * m_scale);
    return static_cast<int>(std::clamp(scaled, 1.0, 2147483647.0));
}
