#pragma once

#include "core/StationEnvironment.h"

// The environment of the real station, from the build options and the program's own folder.
StationEnvironment productionEnvironment(const QStringList& commandLine);
