#include "core/DurableFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DurableFile {

namespace {

QByteArray nativeName(const QString& path)
{
    return QFile::encodeName(path);
}

} // namespace

bool flushToDisk(int fd)
{
    // The data and what is needed to read it back (the size); timestamps may wait.
    int result = 0;
    do {
        result = ::fdatasync(fd);
    } while (result != 0 && errno == EINTR);
    return result == 0;
}

bool takeOverAccess(int fd, const QString& target)
{
    struct stat original
    {
    };
    if (::stat(nativeName(target).constData(), &original) != 0)
        return false;
    if (::fchmod(fd, original.st_mode & 07777) != 0)
        return false;
    struct stat created
    {
    };
    if (::fstat(fd, &created) != 0)
        return false;
    if (created.st_uid == original.st_uid && created.st_gid == original.st_gid)
        return true;
    // Only root may give a file away; the caller then rewrites the target in place.
    return ::fchown(fd, original.st_uid, original.st_gid) == 0;
}

bool hasOtherNames(const QString& target)
{
    struct stat st
    {
    };
    return ::stat(nativeName(target).constData(), &st) == 0 && st.st_nlink > 1;
}

bool replace(const QString& replacement, const QString& target)
{
    if (::rename(nativeName(replacement).constData(), nativeName(target).constData()) != 0)
        return false;
    // The rename itself lives in the folder; the file is already whole either way.
    const QByteArray folder = nativeName(QFileInfo(target).absolutePath());
    const int folderFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

} // namespace DurableFile
