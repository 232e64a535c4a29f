#include "WindowsStation.h"

#include "WineBridge.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

namespace WindowsStation {

QString buildFolder()
{
    return QStringLiteral(STATION_WINDOWS_BUILD_DIR);
}

QString scriptHost()
{
    return buildFolder() + QStringLiteral("/station/station-script-host.exe");
}

QString installer()
{
    const QStringList found =
        QDir(buildFolder())
            .entryList({QStringLiteral("velora-station-*-win64.msi")}, QDir::Files, QDir::Time);
    return found.isEmpty() ? QString() : QDir(buildFolder()).filePath(found.first());
}

QString unavailableReason(const QString& needed)
{
    const QString reason = WineBridge::unavailableReason();
    if (!reason.isEmpty())
        return reason;
    if (needed.isEmpty() || !QFileInfo::exists(needed))
        return QStringLiteral("the Windows station is not built in %1 (scripts/build-windows)")
            .arg(buildFolder());
    return QString();
}

QString wineName(const QString& path)
{
    return QStringLiteral("Z:") + QString(path).replace(u'/', u'\\');
}

QByteArray configContent(const QString& dataFolder)
{
    const QStringList lines{
        QStringLiteral("3"),
        QStringLiteral("300"),
        QStringLiteral("300"),
        QStringLiteral("50"),
        QStringLiteral("320"),
        QStringLiteral("320"),
        QStringLiteral("50"),
        QStringLiteral("10"),
        QStringLiteral("6"),
        u'"' + dataFolder + u'"',
        QStringLiteral("0"),
        QStringLiteral("\"ROUGH.XPM\""),
        QStringLiteral("\"StoneId\""),
        QStringLiteral("600"),
        QStringLiteral("600"),
        QStringLiteral("0"),
        QStringLiteral("\"ZENTI\""),
        QStringLiteral("\"qtx\""),
        QStringLiteral("8000"),
        QStringLiteral("5300"),
        QStringLiteral("0"),
        QStringLiteral("0"),
        QStringLiteral("0"),
        QStringLiteral("\"C:\\Users\\Public\\Documents\\Bruker\\OPUS_8.8.4\\Instruments\\Alpha II\""),
        QStringLiteral("30000"),
        QStringLiteral("\"8.8.4\"")};
    return lines.join(QStringLiteral("\r\n")).toLatin1() + "\r\n";
}

} // namespace WindowsStation
