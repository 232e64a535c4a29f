#pragma once

#include <QString>
#include <QStringList>

// What the program takes from the system's shell; one implementation per system (ShellWin.cpp,
// ShellPosix.cpp).

// The words after the program's name on its command line, as given.
QStringList programCommandWords(int argc, char** argv);

// Opens a web page with the system's handler for it (the shell's "open").
void openWithShell(const QString& url);
