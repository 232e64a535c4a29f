#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class SpectrometerLink;

// Everything that differs between production, tests and the demo, injected in one place.
struct StationEnvironment
{
    QString programFolder;  // where the configuration file, pictures and VELORA1.bat live
    QString backupFolder;   // where the data folder is backed up

    // Server addresses
    QString cloudUrl;
    QString lanUrl;
    QString lanLoginUrl;
    QString stoneIdUrl;
    QString diagPageUrl;  // complete address of the diagnostics page
    QString downloadUrl;  // download page of the console

    // How requests travel: extra trusted certificates (PEM file; empty: the system store only), the
    // proxy (empty: none, whatever the process environment says) and the time limits.
    QString caBundle;
    QString proxy;
    std::chrono::milliseconds connectTimeout{10000};
    std::chrono::milliseconds requestTimeout{60000};

    QString journalFolder;   // where a run journal is kept; empty: not set
    QString localDataFolder; // this machine's path of the spectrometer's data folder; empty: as configured

    // ComPort number -> serial device name
    std::function<QString(int comPort)> resolveSerialPort;

    // Creates the link to the spectrometer software (owned by the caller).
    std::function<std::unique_ptr<SpectrometerLink>()> makeSpectrometerLink;

    double timeScale = 1.0;

    // The program's own command line; when not empty it is run as a command at start and at
    // every connection attempt.
    QString commandLine;

    // Starts a command line minimised without waiting; returns false when it cannot be started.
    std::function<bool(const QString& commandLine)> startDetached;

    // Opens a web page with the system's default handler.
    std::function<void(const QString& url)> openUrl;

    // Ends the program at once, without the unload procedure (the controller watchdog).
    std::function<void(int exitCode)> terminate;

    int versionMajor = 1;
    int versionMinor = 0;
    int versionRevision = 0;
};

// ComPort N -> "COM<N>" on Windows; elsewhere the program folder's entry "COM<N>" when it exists
// (a link to the real device or a pseudo-terminal), otherwise /dev/ttyS<N-1>.
QString defaultSerialPortName(const QString& programFolder, int comPort);
