#pragma once

#include <QByteArray>
#include <QString>

// Where the Windows station's build is and how its runs under Wine name things.
namespace WindowsStation {

QString buildFolder();
QString scriptHost();
// The MSI scripts/build-windows left in the build folder; empty when there is none.
QString installer();
// Why the Windows station cannot be run here (Wine or its build missing); empty when it can.
QString unavailableReason(const QString& needed);
// Wine's name of a Linux path (its Z: drive).
QString wineName(const QString& path);
// A configuration file of 26 lines: COM3, the bench's counts, the data folder as given.
QByteArray configContent(const QString& dataFolder);

} // namespace WindowsStation
