#pragma once

#include <QString>

// Reading of scanned stone identifiers, free of widgets.
namespace StoneIdText {

// "LOT123-05#7-2" -> "LOT123-7.2": lot prefix, then the part after "#" with its first inner "-"
// made a point. Texts it cannot reshape come back unchanged.
QString reshape(const QString& text);

} // namespace StoneIdText
