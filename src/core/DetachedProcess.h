#pragma once

#include <QString>
#include <QStringList>

// Starts program with arguments, each handed over as one argument, never through a shell, and does
// not wait for it. On Windows its window opens minimised. False when it cannot be started (missing,
// not executable, not a program).
bool startDetachedProcess(const QString& program, const QStringList& arguments);
