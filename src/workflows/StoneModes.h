#pragma once

#include <QString>

#include <optional>

// What a stone-mode selection fixes: the experiment file, the suffix of the spectrum file names and
// the stage name reported with query uploads, and the picture shown for the chosen mode.
struct StoneMode
{
    QString picture;
    QString experimentFile;
    QString fileSuffix;
    QString stageName;
};

namespace StoneModes {

constexpr int kCount = 6;

// Registration offers indices 0..2; 3..5 select nothing (nothing is returned).
std::optional<StoneMode> forRegistration(int index);
// Query, and every activity other than registration: indices 0..5.
std::optional<StoneMode> forQuery(int index);

} // namespace StoneModes
