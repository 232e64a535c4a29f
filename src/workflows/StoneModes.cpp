#include "workflows/StoneModes.h"

#include <array>

namespace StoneModes {

namespace {

const std::array<StoneMode, 3> kRegistration{{
    {QStringLiteral("rough_1.jpg"), QStringLiteral("ROUGH.XPM"), QStringLiteral("-ROUGH"),
     QStringLiteral("ROUGH")},
    {QStringLiteral("Polish_1.jpg"), QStringLiteral("POLISH.XPM"), QStringLiteral("-POLISH"),
     QStringLiteral("POLISH")},
    {QStringLiteral("Splits_1.jpg"), QStringLiteral("AFTERSAWING.XPM"), QStringLiteral("-AFTERSAWING"),
     QStringLiteral("AFTERSAWING")},
}};

// Each index pairs the stage the stone is in now (the experiment file) with a second stage.
const std::array<StoneMode, kCount> kQuery{{
    {QStringLiteral("Rough_Rough_1.jpg"), QStringLiteral("ROUGH.XPM"), QStringLiteral("-ROUGH"),
     QStringLiteral("ROUGH")},
    {QStringLiteral("Polish_Polish_1.jpg"), QStringLiteral("POLISH.XPM"), QStringLiteral("-POLISH"),
     QStringLiteral("POLISH-POLISH")},
    {QStringLiteral("Splits_Splits_1.jpg"), QStringLiteral("AFTERSAWING.XPM"), QStringLiteral("-AFTERSAWING"),
     QStringLiteral("AFTERSAWING")},
    {QStringLiteral("Polish_Rough_1.jpg"), QStringLiteral("POLISH.XPM"), QStringLiteral("-POLISH-ROUGH"),
     QStringLiteral("POLISH-ROUGH")},
    // The server knows this pairing under the plain stage name.
    {QStringLiteral("Polish_Splits_1.jpg"), QStringLiteral("POLISH.XPM"),
     QStringLiteral("-POLISH-AFTERSAWING"), QStringLiteral("POLISH")},
    {QStringLiteral("Splits_Rough_1.jpg"), QStringLiteral("AFTERSAWING.XPM"),
     QStringLiteral("-AFTERSAWING-ROUGH"), QStringLiteral("AFTERSAWING-ROUGH")},
}};

} // namespace

std::optional<StoneMode> forRegistration(int index)
{
    if (index < 0 || index >= static_cast<int>(kRegistration.size()))
        return std::nullopt;
    return kRegistration[static_cast<size_t>(index)];
}

std::optional<StoneMode> forQuery(int index)
{
    if (index < 0 || index >= kCount)
        return std::nullopt;
    return kQuery[static_cast<size_t>(index)];
}

} // namespace StoneModes
