#include "FaultBench.h"

#include "SimBench.h"
#include "SimServer.h"
#include "SimSpectrometer.h"
#include "server/ServerClient.h"
#include "app/Station.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <chrono>

namespace {

const char* const veloraPaths[] = {"/getServerStatus",
                                   "/api/account/velora-login",
                                   "/diamond/generateLotCode",
                                   "/diamond/UploadDiaMain",
                                   "/diamond/submitMainFiles",
                                   "/diamond/addTransactionLog",
                                   "/diamond/publishNewAddedTransactionIds",
                                   "/diamond/machineStatus"};

QByteArray contentOf(const QString& path, bool* ok)
{
    QFile file(path);
    *ok = file.open(QIODevice::ReadOnly);
    return *ok ? file.readAll() : QByteArray();
}

} // namespace

FaultBench::FaultBench(SimBench& bench)
    : m_bench(bench)
    , m_dataFolder(bench.dataFolder())
{
    // The simulator writes a file while it serves a line and records the next exchange after it:
    // looking at the data folder on every recorded exchange sees each file before the station can
    // touch it.
    m_bench.spectrometer().setLogSink([this](const QString&) { look(); });
}

FaultBench::~FaultBench()
{
    m_bench.spectrometer().setLogSink({});
    if (!m_mounted.isEmpty())
        QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_mounted});
}

void FaultBench::look()
{
    const QDir folder(m_dataFolder);
    const QStringList names = folder.entryList(QDir::Files | QDir::Hidden | QDir::System);
    QMutexLocker lock(&m_mutex);
    for (const QString& name : names) {
        bool ok = false;
        const QString path = folder.filePath(name);
        const QByteArray content = contentOf(path, &ok);
        if (ok)
            m_written[path] = content;
    }
}

void FaultBench::setServerFault(const SimFault& fault)
{
    for (const char* path : veloraPaths)
        m_bench.server().setFault(path, fault);
}

void FaultBench::shortenHttpTimeouts(int connectMs, int totalMs)
{
    HttpLimits limits = m_bench.station().server().limits();
    limits.connectTimeout = std::chrono::milliseconds(connectMs);
    limits.totalTimeout = std::chrono::milliseconds(totalMs);
    m_bench.station().server().setLimits(limits);
}

bool FaultBench::removeDataFolder()
{
    look();
    {
        QMutexLocker lock(&m_mutex);
        m_written.clear();
    }
    return QDir(m_dataFolder).removeRecursively();
}

bool FaultBench::mountBackupFolder(qint64 sizeBytes, bool readOnly, QString* why)
{
    const QString target = m_bench.backupFolder();
    QDir().mkpath(target);
    QString options = QStringLiteral("size=%1").arg(sizeBytes);
    if (readOnly)
        options += QStringLiteral(",ro");
    QProcess mount;
    mount.start(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                          options, QStringLiteral("tmpfs"), target});
    if (!mount.waitForFinished(10000) || mount.exitStatus() != QProcess::NormalExit ||
        mount.exitCode() != 0) {
        if (why)
            *why = QStringLiteral("cannot mount a tmpfs at the backup folder: ") +
                   QString::fromLocal8Bit(mount.readAllStandardError()).trimmed() + mount.errorString();
        return false;
    }
    m_mounted = target;
    return true;
}

std::map<QString, QByteArray> FaultBench::writtenFiles() const
{
    QMutexLocker lock(&m_mutex);
    return m_written;
}

QStringList FaultBench::lostFiles()
{
    look();
    QStringList lost;
    const QDir backup(m_bench.backupFolder());
    for (const auto& [path, content] : writtenFiles()) {
        bool inData = false;
        const QByteArray dataCopy = contentOf(path, &inData);
        if (inData && dataCopy == content)
            continue;
        bool inBackup = false;
        const QByteArray backupCopy = contentOf(backup.filePath(QFileInfo(path).fileName()), &inBackup);
        if (inBackup && backupCopy == content)
            continue;
        QString what = QFileInfo(path).fileName() + QStringLiteral(": ");
        if (inData)
            what += QStringLiteral("changed in the data folder");
        else if (inBackup)
            what += QStringLiteral("backup copy differs");
        else
            what += QStringLiteral("in neither folder");
        lost << what;
    }
    return lost;
}
