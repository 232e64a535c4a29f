#pragma once

#include <QByteArray>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <map>
#include <string>
#include <vector>

class SimBench;
struct SimFault;

// Fault injection around a started SimBench: remembers every file the simulated spectrometer
// software writes into the data folder, puts faults on the bench's peers and folders, and checks
// afterwards that no written spectrum was lost.
class FaultBench
{
public:
    // Installs the file witness on the bench's spectrometer simulator.
    explicit FaultBench(SimBench& bench);
    ~FaultBench();
    FaultBench(const FaultBench&) = delete;
    FaultBench& operator=(const FaultBench&) = delete;

    // The same fault on every endpoint of the VELORA server.
    void setServerFault(const SimFault& fault);
    // Short HTTP time-outs for the station, so that a slow server costs milliseconds.
    void shortenHttpTimeouts(int connectMs, int totalMs);

    // Removes the data folder with everything in it; the files it held are forgotten (the fault,
    // not the station, destroyed them).
    bool removeDataFolder();

    // Mounts a tmpfs of sizeBytes at the backup folder, read-only when asked. False, with the reason,
    // where mounting is not permitted. Unmounted by the destructor.
    bool mountBackupFolder(qint64 sizeBytes, bool readOnly, QString* why);

    // Files the software wrote (absolute path -> last content written).
    std::map<QString, QByteArray> writtenFiles() const;
    // Each written file that is neither in the data folder nor, with the same content, in the backup
    // folder, with what is wrong about it. Empty when nothing was lost. Looks at the data folder once
    // more first: a file written after the last exchange (the station went away meanwhile) counts too.
    QStringList lostFiles();

private:
    void look();

    SimBench& m_bench;
    QString m_dataFolder;
    QString m_mounted;
    mutable QMutex m_mutex;
    std::map<QString, QByteArray> m_written;
};
