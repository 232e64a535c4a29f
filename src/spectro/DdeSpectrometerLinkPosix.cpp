#include "spectro/DdeSpectrometerLink.h"

namespace DdeSpectrometerLink {

bool available()
{
    return false;
}

std::unique_ptr<SpectrometerLink> make()
{
    return nullptr;
}

} // namespace DdeSpectrometerLink
