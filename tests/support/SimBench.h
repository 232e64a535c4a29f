#pragma once

// The simulated bench lives with the simulators; tests reach it through this name.
#include "bench/SimBench.h"
