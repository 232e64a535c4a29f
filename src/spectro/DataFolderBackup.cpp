#include "spectro/DataFolderBackup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// On this platform "read-only" is a file its owner may not write; a hidden (dot) file that is
// read-only carries another attribute as well and keeps them all.
bool isExactlyReadOnly(const QFileInfo& info)
{
    return !(info.permissions() & QFile::WriteOwner) && !info.isHidden();
}

} // namespace

bool DataFolderBackup::sameContent(const QString& a, const QString& b)
{
    QFile fa(a);
    QFile fb(b);
    if (!fa.open(QIODevice::ReadOnly) || !fb.open(QIODevice::ReadOnly))
        return false;
    if (fa.size() != fb.size())
        return false;
    constexpr qint64 Chunk = 64 * 1024;
    while (!fa.atEnd() || !fb.atEnd()) {
        const QByteArray ca = fa.read(Chunk);
        const QByteArray cb = fb.read(Chunk);
        if (ca != cb)
            return false;
        if (ca.isEmpty())
            return fa.atEnd() && fb.atEnd();
    }
    return true;
}

bool DataFolderBackup::copyVerified(const QString& source, const QString& target)
{
    const QString partial = target + QStringLiteral(".part");
    if (QFile::exists(partial)) {
        QFile::setPermissions(partial, QFile::permissions(partial) | QFile::WriteOwner);
        QFile::remove(partial);
    }
    if (!QFile::copy(source, partial)) {
        QFile::remove(partial);
        return false;
    }
    if (!sameContent(source, partial)) {
        QFile::remove(partial);
        return false;
    }
    if (QFileInfo::exists(target)) {
        QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner);
        if (!QFile::remove(target)) {
            QFile::remove(partial);
            return false;
        }
    }
    if (!QFile::rename(partial, target)) {
        QFile::remove(partial);
        return false;
    }
    return sameContent(source, target);
}

BackupReport DataFolderBackup::run(const QString& dataFolder, const QString& backupFolder,
                                   bool deleteBackedUp)
{
    BackupReport report;
    report.dataFolder = dataFolder;
    report.backupFolder = backupFolder;
    // An empty data folder would name the current folder (the program's own files).
    if (dataFolder.isEmpty() || backupFolder.isEmpty())
        return report;

    const QDir backup(backupFolder);
    report.backupFolderReady = backup.exists() || QDir().mkpath(backupFolder);

    const QDir data(dataFolder);
    if (!data.exists())
        return report;
    const QFileInfoList entries =
        data.entryInfoList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    const QString backupCanonical = QFileInfo(backupFolder).canonicalFilePath();
    for (const QFileInfo& info : entries) {
        ++report.files;
        const QString source = info.absoluteFilePath();
        if (isExactlyReadOnly(info))
            QFile::setPermissions(source, info.permissions() | QFile::WriteOwner | QFile::WriteUser);
        const QString target = backup.filePath(info.fileName());
        // Backing a folder up into itself would verify a file against itself.
        const bool sameFile =
            !backupCanonical.isEmpty() && QFileInfo(target).canonicalFilePath() == info.canonicalFilePath();
        const bool copied = report.backupFolderReady && !sameFile && copyVerified(source, target);
        if (copied)
            ++report.copied;
        else
            ++report.failed;
        if (deleteBackedUp && copied && QFile::remove(source)) {
            ++report.deleted;
            continue;
        }
        if (deleteBackedUp)
            report.keptFiles << info.fileName();
    }
    return report;
}
