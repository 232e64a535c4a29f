#pragma once

#include "core/SpectrometerLink.h"

#include <memory>

// The conversation with the spectrometer software through the workstation's own DDE, for a station
// that runs beside the software on Windows (DdeSpectrometerLinkWin.cpp). Elsewhere there is no DDE:
// available() is false and make() gives nothing (DdeSpectrometerLinkPosix.cpp).
namespace DdeSpectrometerLink {

bool available();
std::unique_ptr<SpectrometerLink> make();

} // namespace DdeSpectrometerLink
