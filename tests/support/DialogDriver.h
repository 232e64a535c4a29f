#pragma once

#include "bench/DialogDriver.h"
