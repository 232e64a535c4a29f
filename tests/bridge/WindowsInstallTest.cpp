// The Windows station as a site gets it: the MSI installed under Wine without a prompt, the installed
// velora-station.exe started with a d_VELORA.txt and a station.ini beside it, and booting against the
// simulated peers with the same controller bytes, link lines and requests as the Linux station's
// program folder given the same files. Uninstalling leaves the operator's files.
#include "WindowsStation.h"
#include "WineBridge.h"

#include "SimController.h"
#include "SimServer.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

constexpr int BootTimeoutMs = 180000;
constexpr int QuietMs = 6000;

struct BootRecords
{
    QStringList controller;
    QStringList requests;
    QStringList link;
    QString error;
};

int runWine(const QStringList& arguments, int timeoutMs = 180000)
{
    QProcess process;
    process.setProcessEnvironment(WineBridge::environment());
    process.start(WineBridge::wine(), arguments);
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished(5000);
        return -1;
    }
    return process.exitCode();
}

QString installedFolder()
{
    QDirIterator users(QStringLiteral(STATION_WINE_PREFIX "/drive_c/users"),
                       QDir::Dirs | QDir::NoDotAndDotDot);
    while (users.hasNext()) {
        const QString folder = users.next() + QStringLiteral("/AppData/Local/Programs/VELORA station");
        if (QFile::exists(folder + QStringLiteral("/velora-station.exe")))
            return folder;
    }
    return QString();
}

void writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(content);
}

// Starts the station of a program folder (a process already set up) and records what the peers saw
// until they have been quiet for a while after its start-up.
BootRecords boot(QProcess& station, SimController& controller, SimServer& server, WineBridge& wine)
{
    BootRecords records;
    if (!station.waitForStarted(30000)) {
        records.error = QStringLiteral("the station did not start: ") + station.errorString();
        return records;
    }
    QElapsedTimer total, quiet;
    total.start();
    quiet.start();
    qsizetype seen = -1;
    while (total.elapsed() < BootTimeoutMs) {
        QThread::msleep(100);
        const qsizetype now =
            controller.commandTexts().size() + qsizetype(server.requests().size()) + wine.recorded().size();
        if (now != seen) {
            seen = now;
            quiet.restart();
        } else if (quiet.elapsed() > QuietMs && !server.requests().empty() &&
                   !controller.commandTexts().isEmpty()) {
            break;
        }
        if (station.state() != QProcess::Running) {
            records.error = QStringLiteral("the station ended: ") +
                            QString::fromLocal8Bit(station.readAllStandardError());
            return records;
        }
    }
    station.kill();
    station.waitForFinished(10000);
    records.controller = controller.commandTexts() + controller.rejectedTexts();
    for (const SimRecordedRequest& r : server.requests())
        records.requests << QString::fromStdString(r.method + " " + r.target + "\n" + r.body);
    records.link = wine.recorded();
    return records;
}

QByteArray siteSettings(const std::string& base, const QString& link)
{
    const QString b = QString::fromStdString(base);
    return QStringLiteral("[server]\ncloud_url = %1\nlan_url = %1\nlan_login_url = %1\nstone_id_url = %1\n"
                          "diag_page_url = %1/config/diag_scan.htm\n[spectrometer]\nlink = %2\n")
        .arg(b, link)
        .toUtf8();
}

TEST(WindowsInstall, InstalledStationBootsAsTheLinuxOneAndUninstallKeepsTheOperatorsFiles)
{
    const QString msi = WindowsStation::installer();
    const QString reason = WindowsStation::unavailableReason(msi);
    if (!reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();

    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/i-XXXXXX"));
    const QString data = root.filePath(QStringLiteral("data"));
    QDir().mkpath(data);
    const QByteArray config = WindowsStation::configContent(WindowsStation::wineName(data));

    // The Linux station's program folder, as a site lays it out.
    BootRecords linux;
    {
        const QString folder = root.filePath(QStringLiteral("linux"));
        QProcess install;
        install.start(QStringLiteral("cmake"),
                      {QStringLiteral("--install"), QStringLiteral(STATION_NATIVE_BUILD_DIR),
                       QStringLiteral("--prefix"), folder, QStringLiteral("--component"),
                       QStringLiteral("station")});
        ASSERT_TRUE(install.waitForFinished(60000) && install.exitCode() == 0);
        SimController controller(1.0);
        SimServer server;
        WineBridge wine;
        ASSERT_TRUE(controller.start() && server.start(0));
        ASSERT_TRUE(wine.startDouble() && wine.startBridge()) << wine.error().toStdString();
        controller.createPortLink(folder, 3);
        writeFile(folder + QStringLiteral("/d_VELORA.txt"), config);
        writeFile(folder + QStringLiteral("/station.ini"),
                  siteSettings(server.baseUrl(), wine.address()) +
                      "[files]\nlocal_data_folder = " + data.toUtf8() +
                      "\nbackup_folder = " + root.filePath(QStringLiteral("backup-linux")).toUtf8() + "\n");
        QProcess station;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        station.setProcessEnvironment(env);
        station.start(folder + QStringLiteral("/velora-station"), QStringList{});
        linux = boot(station, controller, server, wine);
    }
    ASSERT_TRUE(linux.error.isEmpty()) << linux.error.toStdString();
    ASSERT_GE(linux.controller.size(), 2);
    ASSERT_GE(linux.requests.size(), 3);
    ASSERT_GE(linux.link.size(), 3);

    // The Windows station from its installer.
    ASSERT_EQ(runWine({QStringLiteral("msiexec"), QStringLiteral("/i"), msi, QStringLiteral("/qn")}), 0);
    const QString folder = installedFolder();
    ASSERT_FALSE(folder.isEmpty()) << "velora-station.exe not installed";
    BootRecords windows;
    {
        SimController controller(1.0);
        SimServer server;
        WineBridge wine;
        ASSERT_TRUE(controller.start() && server.start(0));
        ASSERT_TRUE(wine.startDouble() && wine.startBridge()) << wine.error().toStdString();
        const QString com3 = QStringLiteral(STATION_WINE_PREFIX "/dosdevices/com3");
        QFile::remove(com3);
        ASSERT_TRUE(QFile::link(controller.devicePath(), com3));
        writeFile(folder + QStringLiteral("/d_VELORA.txt"), config);
        writeFile(folder + QStringLiteral("/station.ini"),
                  siteSettings(server.baseUrl(), wine.address()) + "[files]\nbackup_folder = " +
                      WindowsStation::wineName(root.filePath(QStringLiteral("backup-windows")))
                          .replace(u'\\', u'/')
                          .toUtf8() +
                      "\n");
        QProcess station;
        station.setProcessEnvironment(WineBridge::environment());
        station.start(WineBridge::wine(), {folder + QStringLiteral("/velora-station.exe")});
        windows = boot(station, controller, server, wine);
    }
    ASSERT_TRUE(windows.error.isEmpty()) << windows.error.toStdString();
    EXPECT_EQ(windows.controller, linux.controller);
    EXPECT_EQ(windows.requests, linux.requests);
    EXPECT_EQ(windows.link, linux.link);

    // Uninstalled: the program is gone, the operator's files stay.
    writeFile(folder + QStringLiteral("/VELORA1.bat"), "@echo off\r\nrem the site's own\r\n");
    ASSERT_EQ(runWine({QStringLiteral("msiexec"), QStringLiteral("/x"), msi, QStringLiteral("/qn")}), 0);
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/velora-station.exe")));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/Qt6Core.dll")));
    for (const char* kept : {"d_VELORA.txt", "station.ini", "VELORA1.bat"})
        EXPECT_TRUE(QFile::exists(folder + u'/' + QLatin1String(kept))) << kept;
}

} // namespace
