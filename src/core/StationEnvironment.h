#pragma once

#include "quality/SpectrumLimits.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>

class SpectrometerLink;

// Everything that differs between production, tests and the demo, injected in one place.
struct StationEnvironment
{
    QString programFolder; // where the configuration file, pictures and VELORA1.bat live
    QString backupFolder;  // where the data folder is backed up
    QString journalFolder; // where the run journal's day files go; empty: no journal

    // Server addresses
    QString cloudUrl;
    QString lanUrl;
    QString lanLoginUrl;
    QString stoneIdUrl;
    QString diagPageUrl; // complete address of the diagnostics page
    QString downloadUrl; // download page of the console

    // How requests travel: extra trusted certificates (PEM file; empty: the system store only), the
    // proxy (empty: none, whatever the process environment says) and the time limits.
    QString caBundle;
    QString proxy;
    std::chrono::milliseconds connectTimeout{10000};
    std::chrono::milliseconds requestTimeout{60000};

    QString localDataFolder; // this machine's path of the spectrometer's data folder; empty: as configured

    // Whether the sequences check each scan's spectrum before its upload, and the limits.
    SpectrumCheckSettings spectrumChecks;

    // ComPort number -> serial device name
    std::function<QString(int comPort)> resolveSerialPort;

    // Creates the link to the spectrometer software (owned by the caller).
    std::function<std::unique_ptr<SpectrometerLink>()> makeSpectrometerLink;

    double timeScale = 1.0;

    // What followed the program's name on its command line, word for word: a command and its
    // arguments, run at start and at every connection attempt when not empty.
    QStringList commandLine;

    // Starts a program with its arguments exactly as given (no shell reads them), minimised where
    // the platform can, without waiting; false when it cannot be started.
    std::function<bool(const QString& program, const QStringList& arguments)> startDetached;

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
