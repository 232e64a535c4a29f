#include "core/StationEnvironment.h"

#include <QDir>
#include <QFileInfo>

QString defaultSerialPortName(const QString& programFolder, int comPort)
{
#ifdef Q_OS_WIN
    Q_UNUSED(programFolder);
    return QStringLiteral("COM%1").arg(comPort);
#else
    const QString local = QDir(programFolder).filePath(QStringLiteral("COM%1").arg(comPort));
    // A dangling link still names the port the site meant; opening it fails and the watchdog reports it.
    if (QFileInfo(local).exists() || QFileInfo(local).isSymLink())
        return local;
    if (comPort < 1)
        return QString();
    return QStringLiteral("/dev/ttyS%1").arg(comPort - 1);
#endif
}
