#pragma once

#include "spectro/BackupReport.h"

// Copies the files of the data folder (not its sub-folders) into the backup folder, replacing
// older copies. With deleteBackedUp, a data file is removed only once its copy has been read
// back equal; a file whose copy failed stays where it is.
class DataFolderBackup
{
public:
    static BackupReport run(const QString& dataFolder, const QString& backupFolder, bool deleteBackedUp);

    // Copies source over target through a temporary file, then reads both back.
    static bool copyVerified(const QString& source, const QString& target);
    static bool sameContent(const QString& a, const QString& b);
};
