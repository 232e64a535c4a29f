#include "ProductionEnvironment.h"

#include "BuildConfig.h"
#include "Shell.h"
#include "SiteEnvironment.h"

#include "core/DetachedProcess.h"
#include "core/Journal.h"

#include <QCoreApplication>
#include <QDir>

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
    // The build options; a site's station.ini overrides them.
    applySiteSettings(env, buildOptionDefaults(env.backupFolder));
    const QString folder = env.programFolder;
    env.resolveSerialPort = [folder](int comPort) { return defaultSerialPortName(folder, comPort); };
    env.timeScale = STATION_TIME_SCALE;
    env.commandLine = commandLine;
    env.startDetached = startDetachedProcess;
    env.openUrl = openWithShell;
    env.terminate = [](int code) {
        std::fflush(nullptr);
        std::_Exit(code);
    };
    env.versionMajor = STATION_VERSION_MAJOR;
    env.versionMinor = STATION_VERSION_MINOR;
    env.versionRevision = STATION_VERSION_PATCH;
    return env;
}
