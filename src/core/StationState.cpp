#include "core/StationState.h"

StationState& stationState()
{
    static StationState state;
    return state;
}
