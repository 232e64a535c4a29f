#include "ProductionEnvironment.h"

#include "BuildConfig.h"

#include "core/DetachedProcess.h"
#include "core/Journal.h"
#include "spectro/TcpSpectrometerLink.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include <cstdio>
#include <cstdlib>

namespace {

QString backupFolder()
{
#ifdef Q_OS_WIN
    const QString fallback = QStringLiteral("C:\\Opus_bak\\");
#else
    const QString fallback = QDir::home().filePath(QStringLiteral("Opus_bak"));
#endif
    const QString configured = QStringLiteral(STATION_BACKUP_DIR);
    return configured.isEmpty() ? fallback : configured;
}

} // namespace

StationEnvironment productionEnvironment(const QStringList& commandLine)
{
    StationEnvironment env;
    env.programFolder = QCoreApplication::applicationDirPath();
    env.backupFolder = backupFolder();
    if (env.journalFolder.isEmpty())
        env.journalFolder = Journal::defaultFolder();
    env.cloudUrl = QStringLiteral(STATION_CLOUD_URL);
    env.lanUrl = QStringLiteral(STATION_LAN_URL);
    env.lanLoginUrl = QStringLiteral(STATION_LAN_LOGIN_URL);
    env.stoneIdUrl = QStringLiteral(STATION_STONE_ID_URL);
    env.diagPageUrl = QStringLiteral(STATION_DIAG_PAGE_URL);
    env.downloadUrl = QStringLiteral(STATION_DOWNLOAD_URL);
    const QString folder = env.programFolder;
    env.resolveSerialPort = [folder](int comPort) { return defaultSerialPortName(folder, comPort); };
    env.makeSpectrometerLink = [] {
        return std::make_unique<TcpSpectrometerLink>(QStringLiteral(STATION_SPECTROMETER_LINK));
    };
    env.timeScale = STATION_TIME_SCALE;
    env.commandLine = commandLine;
    env.startDetached = startDetachedProcess;
    env.openUrl = [](const QString& url) { QDesktopServices::openUrl(QUrl(url)); };
    env.terminate = [](int code) {
        std::fflush(nullptr);
        std::_Exit(code);
    };
    env.versionMajor = STATION_VERSION_MAJOR;
    env.versionMinor = STATION_VERSION_MINOR;
    env.versionRevision = STATION_VERSION_PATCH;
    return env;
}
