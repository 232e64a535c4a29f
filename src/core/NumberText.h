#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace NumberText {

// The whole text (surrounding blanks allowed) as a decimal number: "12", " -3.5 ", "1e3".
// Anything else, the empty text included, is not a number.
std::optional<double> parseWhole(QStringView text);

// A text read the way a count box or a reply code is read: blanks anywhere are ignored, reading
// stops at the first character that cannot continue a number, nothing readable is 0.
// Magnitudes beyond the double range come back as +/-infinity; callers decide what that means.
double parseLeading(QStringView text);

// Shortest text that reads back to the same double: 300 -> "300", 12.5 -> "12.5", -0 -> "0".
// Plain decimal notation for magnitudes below 1e15, otherwise "1E+20" style.
QString format(double value);

// Round half to even, as the 16-bit conversions do.
double roundHalfEven(double value);

} // namespace NumberText
