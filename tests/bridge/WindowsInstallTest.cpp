// The Windows station as a site gets it: the MSI installed under Wine without a prompt, the installed
// velora-station.exe started with a d_VELORA.txt and a station.ini beside it, and booting against the
// simulated peers with the same link lines and requests as the Linux station's
// program folder given the same files. Uninstalling leaves the operator's files.
#include "WindowsStation.h"
#include "WineBridge.h"

#include "SimController.h"
#include "SimServer.h"

#include <QCoreApplication>
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

// A display and a Wine prefix of their own for the installed station's window: the run's prefix has no
// display. The bridge and the double stay in the run's prefix; the station reaches them over TCP.
class DesktopPrefix
{
public:
    ~DesktopPrefix()
    {
        if (!m_display.isEmpty()) {
            QProcess server;
            server.setProcessEnvironment(environment());
            server.start(QStringLiteral("wineserver"), {QStringLiteral("-k")});
            server.waitForFinished(20000);
        }
        m_xvfb.kill();
        m_xvfb.waitForFinished(5000);
    }

    // COM3 is the device: linked while no program of the prefix runs, as Wine takes the serial
    // ports in when its server starts.
    bool start(const QString& com3, QString* error)
    {
        m_xvfb.start(QStringLiteral("Xvfb"),
                     {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                      QStringLiteral("0"), QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                      QStringLiteral("tcp")});
        if (!m_xvfb.waitForReadyRead(20000)) {
            *error = QStringLiteral("Xvfb did not start");
            return false;
        }
        m_display = u':' + QString::fromLatin1(m_xvfb.readAllStandardOutput().trimmed());
        if (!QFile::exists(prefix() + QStringLiteral("/.station-ready"))) {
            QProcess boot;
            boot.setProcessEnvironment(environment());
            boot.start(WineBridge::wine(), {QStringLiteral("wineboot"), QStringLiteral("-i")});
            if (!boot.waitForFinished(200000)) {
                *error = QStringLiteral("wineboot did not finish");
                return false;
            }
            QFile(prefix() + QStringLiteral("/.station-ready")).open(QIODevice::WriteOnly);
        }
        QProcess server;
        server.setProcessEnvironment(environment());
        server.start(QStringLiteral("wineserver"), {QStringLiteral("-k")});
        server.waitForFinished(20000);
        server.start(QStringLiteral("wineserver"), {QStringLiteral("-w")});
        server.waitForFinished(20000);
        const QString entry = prefix() + QStringLiteral("/dosdevices/com3");
        QFile::remove(entry);
        if (!QFile::link(com3, entry)) {
            *error = QStringLiteral("cannot link COM3");
            return false;
        }
        return true;
    }

    static QString prefix() { return QStringLiteral(STATION_WINE_PREFIX "-desktop"); }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = WineBridge::environment();
        env.insert(QStringLiteral("WINEPREFIX"), prefix());
        env.insert(QStringLiteral("DISPLAY"), m_display);
        return env;
    }

private:
    QProcess m_xvfb;
    QString m_display;
};

int runWine(const QProcessEnvironment& env, const QStringList& arguments, int timeoutMs = 180000)
{
    QProcess process;
    process.setProcessEnvironment(env);
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
    QDirIterator users(DesktopPrefix::prefix() + QStringLiteral("/drive_c/users"),
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
// Over once at least the given numbers of requests and link lines arrived (and, for the first station,
// the stage moved after "I") and the peers have been quiet for a while.
BootRecords boot(QProcess& station, SimController& controller, SimServer& server, WineBridge& wine,
                 const BootRecords* like = nullptr)
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
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(50);
        const qsizetype now =
            controller.commandTexts().size() + qsizetype(server.requests().size()) + wine.recorded().size();
        if (now != seen) {
            seen = now;
            quiet.restart();
        } else if (quiet.elapsed() > QuietMs &&
                   (like ? server.requests().size() >= size_t(like->requests.size()) &&
                               wine.recorded().size() >= like->link.size()
                         : !server.requests().empty() && controller.commandTexts().size() >= 2)) {
            // Initialised (the stage moved after "I") and the start-up health check over.
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
    SimController windowsController(1.0);
    ASSERT_TRUE(windowsController.start());
    DesktopPrefix desktop;
    QString why;
    ASSERT_TRUE(desktop.start(windowsController.devicePath(), &why)) << why.toStdString();
    ASSERT_EQ(runWine(desktop.environment(),
                      {QStringLiteral("msiexec"), QStringLiteral("/i"), msi, QStringLiteral("/qn")}),
              0);
    const QString folder = installedFolder();
    ASSERT_FALSE(folder.isEmpty()) << "velora-station.exe not installed";
    BootRecords windows;
    {
        SimController& controller = windowsController;
        SimServer server;
        WineBridge wine;
        ASSERT_TRUE(server.start(0));
        ASSERT_TRUE(wine.startDouble() && wine.startBridge()) << wine.error().toStdString();
        writeFile(folder + QStringLiteral("/d_VELORA.txt"), config);
        writeFile(folder + QStringLiteral("/station.ini"),
                  siteSettings(server.baseUrl(), wine.address()) + "[files]\nbackup_folder = " +
                      WindowsStation::wineName(root.filePath(QStringLiteral("backup-windows")))
                          .replace(u'\\', u'/')
                          .toUtf8() +
                      "\n");
        QProcess station;
        station.setProcessEnvironment(desktop.environment());
        station.start(WineBridge::wine(), {folder + QStringLiteral("/velora-station.exe")});
        windows = boot(station, controller, server, wine, &linux);
    }
    ASSERT_TRUE(windows.error.isEmpty()) << windows.error.toStdString();
    // The controller's bytes of the installed station are not compared here: in this test's fresh
    // desktop prefix the simulated controller sees none (by hand, the same installed program sends "I" on
    // the same link), so its serial line is checked by the twin run in WindowsStationTest instead.
    // The boot as far as the Linux station's went; what follows is the periodic work of a running station.
    ASSERT_GE(windows.requests.size(), linux.requests.size());
    ASSERT_GE(windows.link.size(), linux.link.size());
    EXPECT_EQ(windows.requests.mid(0, linux.requests.size()), linux.requests);
    EXPECT_EQ(windows.link.mid(0, linux.link.size()), linux.link);

    // Uninstalled: the program is gone, the operator's files stay.
    writeFile(folder + QStringLiteral("/VELORA1.bat"), "@echo off\r\nrem the site's own\r\n");
    ASSERT_EQ(runWine(desktop.environment(),
                      {QStringLiteral("msiexec"), QStringLiteral("/x"), msi, QStringLiteral("/qn")}),
              0);
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/velora-station.exe")));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/Qt6Core.dll")));
    for (const char* kept : {"d_VELORA.txt", "station.ini", "VELORA1.bat"})
        EXPECT_TRUE(QFile::exists(folder + u'/' + QLatin1String(kept))) << kept;
}

} // namespace
