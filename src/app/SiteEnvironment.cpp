#include "SiteEnvironment.h"

#include "BuildConfig.h"

#include "spectro/DdeSpectrometerLink.h"
#include "spectro/TcpSpectrometerLink.h"

#include <QDir>
#include <QMessageBox>

#include <cstdio>

#include <cmath>

namespace {

std::chrono::milliseconds milliseconds(double seconds)
{
    return std::chrono::milliseconds(std::llround(seconds * 1000));
}

} // namespace

QString siteSettingsPath(const QString& programFolder)
{
    return QDir(programFolder).filePath(QStringLiteral("station.ini"));
}

SiteSettings buildOptionDefaults(const QString& defaultBackupFolder)
{
    SiteSettings s;
    s.cloudUrl = QStringLiteral(STATION_CLOUD_URL);
    s.lanUrl = QStringLiteral(STATION_LAN_URL);
    s.lanLoginUrl = QStringLiteral(STATION_LAN_LOGIN_URL);
    s.stoneIdUrl = QStringLiteral(STATION_STONE_ID_URL);
    s.diagPageUrl = QStringLiteral(STATION_DIAG_PAGE_URL);
    s.downloadUrl = QStringLiteral(STATION_DOWNLOAD_URL);
    s.spectrometerLink = QStringLiteral(STATION_SPECTROMETER_LINK);
    s.ddeLinkAvailable = DdeSpectrometerLink::available();
    s.backupFolder = defaultBackupFolder;
    return s;
}

void applySiteSettings(StationEnvironment& env, const SiteSettings& site)
{
    env.cloudUrl = site.cloudUrl;
    env.lanUrl = site.lanUrl;
    env.lanLoginUrl = site.lanLoginUrl;
    env.stoneIdUrl = site.stoneIdUrl;
    env.diagPageUrl = site.diagPageUrl;
    env.downloadUrl = site.downloadUrl;
    env.caBundle = site.caBundle;
    env.proxy = site.proxy;
    env.connectTimeout = milliseconds(site.connectTimeoutS);
    env.requestTimeout = milliseconds(site.requestTimeoutS);
    env.backupFolder = site.backupFolder;
    // Empty keeps the journal's own default.
    if (!site.journalFolder.isEmpty())
        env.journalFolder = site.journalFolder;
    env.localDataFolder = site.localDataFolder;
    env.spectrumChecks = site.spectrumChecks;
    const QString link = site.spectrometerLink;
    if (link == QLatin1String("dde"))
        env.makeSpectrometerLink = [] { return DdeSpectrometerLink::make(); };
    else
        env.makeSpectrometerLink = [link] { return std::make_unique<TcpSpectrometerLink>(link); };
}

bool loadSiteSettings(StationEnvironment& env)
{
    const SiteSettingsReading site =
        readSiteSettings(siteSettingsPath(env.programFolder), buildOptionDefaults(env.backupFolder));
    if (site.error) {
        const QString message = site.error->message();
        std::fprintf(stderr, "%s\n", qPrintable(message));
        QMessageBox::critical(nullptr, QStringLiteral("VELORA station settings"), message);
        return false;
    }
    applySiteSettings(env, site.settings);
    return true;
}
