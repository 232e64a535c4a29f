#include "spectro/DataFolderBackup.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

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
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return false;
    // A hidden name reserved exclusively by the platform: no data or backup file is ever replaced
    // or removed on the way, only the target itself at the end.
    QTemporaryFile partial(QFileInfo(target).absolutePath() + QStringLiteral("/.velora-copy-XXXXXX"));
    if (!partial.open())
        return false;
    constexpr qint64 Chunk = 64 * 1024;
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(Chunk);
        if (chunk.isEmpty() || partial.write(chunk) != chunk.size())
            return false;
    }
    if (in.error() != QFileDevice::NoError || !partial.flush())
        return false;
    partial.close();
    if (!sameContent(source, partial.fileName()))
        return false;
    partial.setPermissions(in.permissions());
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink()) {
        QFile::setPermissions(target, QFile::permissions(target) | QFile::WriteOwner);
        if (!QFile::remove(target))
            return false;
    }
    if (!partial.rename(target))
        return false;
    partial.setAutoRemove(false);
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
        if (copied) {
            ++report.copied;
            report.copiedFiles << info.fileName();
        } else {
            ++report.failed;
            report.failedFiles << info.fileName();
        }
        if (deleteBackedUp && copied && QFile::remove(source)) {
            ++report.deleted;
            continue;
        }
        if (deleteBackedUp)
            report.keptFiles << info.fileName();
    }
    report.copiedFiles.sort();
    report.failedFiles.sort();
    return report;
}
