#include "core/LocalPath.h"

namespace {

QString withSlashes(QString path)
{
    path.replace(u'\\', u'/');
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

} // namespace

namespace LocalPath {

QString of(const QString& path)
{
#ifdef Q_OS_WIN
    return path;
#else
    QString local = path;
    return local.replace(u'\\', u'/');
#endif
}

QString of(const QString& path, const QString& dataFolder, const QString& localDataFolder)
{
    if (localDataFolder.isEmpty() || dataFolder.trimmed().isEmpty())
        return of(path);
    const QString folder = withSlashes(dataFolder);
    const QString target = withSlashes(path);
    if (!target.startsWith(folder, Qt::CaseInsensitive))
        return of(path);
    const QString rest = target.mid(folder.size());
    // "D:\Data2\x" is not inside "D:\Data".
    if (!rest.isEmpty() && !rest.startsWith(u'/') && !folder.endsWith(u'/'))
        return of(path);
    QString local = withSlashes(localDataFolder);
    if (rest.isEmpty())
        return local;
    if (!rest.startsWith(u'/') && !local.endsWith(u'/'))
        local += u'/';
    return local + rest;
}

} // namespace LocalPath
