#pragma once

#include <QString>
#include <QStringList>

// What one backup of the data folder did.
struct BackupReport
{
    QString dataFolder;
    QString backupFolder;
    bool backupFolderReady = false; // existed or was created
    int files = 0;                  // files found in the data folder
    int copied = 0;                 // copies verified equal to their file
    int failed = 0;                 // copies that failed or did not verify
    int deleted = 0;                // data files removed after a verified copy
    QStringList keptFiles;          // data files left in place (copy failed or removal failed)
    QStringList copiedFiles;        // names of the verified copies
    QStringList failedFiles;        // names of the files whose copy failed
};
