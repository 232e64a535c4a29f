#pragma once

#include "quality/SpectrumLimits.h"

#include <QString>

#include <optional>

// What a site may set in station.ini beside the program; every key is optional and a missing one
// keeps the value the reader was given as default.
struct SiteSettings
{
    // [server]
    QString cloudUrl;
    QString lanUrl;
    QString lanLoginUrl;
    QString stoneIdUrl;
    QString diagPageUrl;
    QString downloadUrl;
    QString caBundle; // PEM file of extra trusted certificates; empty: the system store only
    QString proxy;    // empty: no proxy at all
    double connectTimeoutS = 10;
    double requestTimeoutS = 60;

    // [spectrometer]
    QString spectrometerLink; // host:port of a bridge, or "dde"
    // Whether this station can speak DDE itself (on the software's Windows workstation).
    bool ddeLinkAvailable = false;

    // [files]
    QString backupFolder;    // empty: the platform's default
    QString journalFolder;   // empty: not set
    QString localDataFolder; // empty: the configuration file's data folder as it is

    // [quality]
    SpectrumCheckSettings spectrumChecks;
};

// Why a settings file was refused: where, which key, and what is wrong with it.
struct SiteSettingsError
{
    QString file;
    int line = 0; // 1-based; 0 when the fault is not on one line (the file cannot be read)
    QString key;  // "[section] key", or the section or line text when there is no key
    QString problem;

    QString message() const;
};

struct SiteSettingsReading
{
    SiteSettings settings;
    std::optional<SiteSettingsError> error;
    bool fileFound = false;
};

// Reads path in Qt's INI format. A missing file keeps every default. Relative paths in the file
// are taken from the file's folder. On the first bad line the error names it and the settings are
// the defaults, so that nothing runs half-configured.
SiteSettingsReading readSiteSettings(const QString& path, const SiteSettings& defaults);
