#pragma once

#include "core/StationEnvironment.h"
#include "core/StationState.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <functional>

// A program folder of its own and an environment that runs the console in scaled time, with
// recorders for what the console asks of the system.
struct ConsoleEnvironment
{
    QTemporaryDir folder;
    QList<QStringList> started; // each: program, then its arguments
    bool startFails = false;
    QStringList openedUrls;
    QList<int> terminations;

    StationEnvironment make(double timeScale = 0.001)
    {
        StationEnvironment env;
        env.programFolder = folder.path();
        env.backupFolder = folder.filePath(QStringLiteral("backup"));
        env.timeScale = timeScale;
        env.resolveSerialPort = [](int) { return QString(); };
        env.startDetached = [this](const QString& program, const QStringList& arguments) {
            started << QStringList{program} + arguments;
            return !startFails;
        };
        env.openUrl = [this](const QString& url) { openedUrls << url; };
        env.terminate = [this](int code) { terminations << code; };
        env.downloadUrl = QStringLiteral("http://example.invalid/download");
        return env;
    }

    // Small stand-ins for every picture the console loads, so picture changes can be observed.
    void addPictures() const
    {
        static const char* names[] = {
            "VELORA.jpg",         "register.jpg",        "register1.jpg",       "Query.jpg",
            "Query1.jpg",         "rough.jpg",           "Splits.jpg",          "Polish.jpg",
            "rough_1.jpg",        "Splits_1.jpg",        "Polish_1.jpg",        "Rough_Rough.jpg",
            "Splits_Splits.jpg",  "Polish_Polish.jpg",   "Polish_Rough.jpg",    "Polish_Splits.jpg",
            "Splits_Rough.jpg",   "Rough_Rough_1.jpg",   "Splits_Splits_1.jpg", "Polish_Polish_1.jpg",
            "Polish_Rough_1.jpg", "Polish_Splits_1.jpg", "Splits_Rough_1.jpg"};
        QImage image(4, 4, QImage::Format_RGB32);
        image.fill(Qt::gray);
        for (const char* name : names)
            image.save(folder.filePath(QLatin1String(name)), "JPG");
    }

    void writeConfig(const QByteArray& content) const
    {
        QFile file(folder.filePath(QStringLiteral("d_VELORA.txt")));
        file.open(QIODevice::WriteOnly);
        file.write(content);
    }

    QByteArray readConfig() const
    {
        QFile file(folder.filePath(QStringLiteral("d_VELORA.txt")));
        file.open(QIODevice::ReadOnly);
        return file.readAll();
    }
};

inline void resetStationState()
{
    stationState() = StationState{};
}

// Runs the event loop until pred holds or the time runs out.
inline bool waitUntil(const std::function<bool()>& pred, int timeoutMs = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!pred()) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}
