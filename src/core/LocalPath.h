#pragma once

#include <QString>

// The spectrometer software names its files with its own paths (Windows paths, sent to it as
// written); the station reaches the same files through this machine's file system.
namespace LocalPath {

// path as this machine opens it: backslashes become slashes where the platform does not take them.
QString of(const QString& path);

// Like of(), and where the software's data folder is mounted elsewhere here (a share in a split
// deployment), a path inside dataFolder is moved under localDataFolder. Folder names compare without
// regard to case or to the kind of separator, as Windows names do.
QString of(const QString& path, const QString& dataFolder, const QString& localDataFolder);

} // namespace LocalPath
