#pragma once

#include "core/StationEnvironment.h"

#include <QDir>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class ConsoleModel;
class Frmgrading;
class SimController;
class SimServer;
class SimSpectrometer;
class Station;
class StationConsole;
class StoneWorkflows;

// The station on a simulated bench: the motion controller behind a pseudo-terminal, the spectrometer
// software over the link protocol, the VELORA server, stone-ID service and diagnostics page over HTTP,
// all on loopback, in a temporary program folder, in scaled time. Records what the console showed and
// what the station asked of the system.
class SimBench
{
public:
    struct Options
    {
        double timeScale = 0.001;
        // false: the console has no window; its questions and boxes go to the live DialogDriver.
        bool withWindow = true;
        int comPort = 3;
        int machineNumber = 0;
        QString userName = QStringLiteral("ZENTI");
        QString companyCode = QStringLiteral("qtx");
        // Minutes of the periodic health check and of the background's life; large keeps the
        // periodic check out of a test's way.
        int checkIntervalMinutes = 30000;
        bool writeConfig = true;
        // Pictures (*.jpg) copied into the program folder before the start; none when empty.
        QString picturesFolder;
        // Name the controller's port the way a real site does: a COM<N> link in the program folder.
        bool portLinkInProgramFolder = false;
        // The run journal's folder; empty: "journal" in the program folder.
        QString journalFolder;
        // Where the temporary program folder is made; empty: the system's temporary folder.
        QString parentFolder;
        // host:port of another spectrometer software link (a bridge); empty: the simulated software.
        QString spectrometerLinkAddress;
        // HTTPS for the server with this certificate chain and key (PEM files), and the station's
        // extra trusted certificates; plain HTTP when the certificate is empty.
        QString tlsCertificate;
        QString tlsKey;
        QString caBundle;
        // The spectrum checks of [quality] in station.ini (off unless a test turns them on).
        SpectrumCheckSettings spectrumChecks;
    };

    SimBench();
    explicit SimBench(Options options);
    ~SimBench();
    SimBench(const SimBench&) = delete;
    SimBench& operator=(const SimBench&) = delete;

    // Starts the three peers, writes the configuration and starts the station; then waits until the
    // motors are initialised and the start-up health check is over. False (and error()) on failure.
    bool start(int readyTimeoutMs = 10000);
    QString error() const { return m_error; }

    Station& station() { return *m_station; }
    Frmgrading& window();
    ConsoleModel& model();
    StationConsole& console();
    StoneWorkflows& workflows();
    SimController& controller() { return *m_controller; }
    SimSpectrometer& spectrometer() { return *m_spectrometer; }
    SimServer& server() { return *m_server; }

    const StationEnvironment& environment() const { return m_env; }
    QString programFolder() const { return m_folder.path(); }
    QString dataFolder() const { return m_folder.filePath(QStringLiteral("data")); }
    QString backupFolder() const { return m_folder.filePath(QStringLiteral("backup")); }
    QString journalFolder() const { return m_env.journalFolder; }
    QStringList dataFiles() const { return filesIn(dataFolder()); }
    QStringList backupFiles() const { return filesIn(backupFolder()); }
    static QStringList filesIn(const QString& folder);

    // Forgets what the peers and the console recorded so far.
    void clearRecords();
    // Every text Msg showed, in order, repeats of the same text collapsed.
    QStringList msgTexts() const;
    QStringList msg1Texts() const;
    // What Msg1 showed while the station started (start() clears the records).
    QStringList startupMsg1Texts() const { return m_startupMsg1; }
    QStringList started() const { return m_started; }
    QStringList openedUrls() const { return m_openedUrls; }

    // The configuration file content the bench writes (26 lines, CR LF).
    QByteArray configContent() const;

    // Runs the event loop until pred holds or timeoutMs of real time passed.
    static bool pumpUntil(const std::function<bool()>& pred, int timeoutMs);

private:
    Options m_options;
    QTemporaryDir m_folder;
    StationEnvironment m_env;
    std::unique_ptr<SimController> m_controller;
    std::unique_ptr<SimSpectrometer> m_spectrometer;
    std::unique_ptr<SimServer> m_server;
    std::unique_ptr<Station> m_station;
    QStringList m_msg;
    QStringList m_msg1;
    QStringList m_startupMsg1;
    QStringList m_started;
    QStringList m_openedUrls;
    QString m_error;
};
