#include "SimSpectrometer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QRegularExpression>

#include <utility>

namespace {

const QByteArray SimFileMagic = "VELORA-SIM-OPUS";

// A value in characters 3 to 12 of the reply, as the station reads it.
QByteArray valueReply(const QString& value)
{
    return "OK" + value.leftJustified(10, QLatin1Char(' ')).toUtf8() + "\r\n";
}

} // namespace

QByteArray SimSpectrometer::overrideFor(const QString& item, bool* found) const
{
    QMutexLocker lock(&m_mutex);
    // The latest matching setting wins.
    for (auto it = m_replies.rbegin(); it != m_replies.rend(); ++it) {
        if (item.startsWith(it->first)) {
            *found = true;
            return it->second;
        }
    }
    *found = false;
    return QByteArray();
}

QByteArray SimSpectrometer::runCommand(const QString& command)
{
    bool overridden = false;
    const QByteArray override = overrideFor(command, &overridden);
    QString amplitude, position, messageCode, statusCode;
    {
        QMutexLocker lock(&m_mutex);
        amplitude = m_peakAmplitude;
        position = m_peakPosition;
        messageCode = m_statusMessageCode;
        statusCode = m_statusCode;
    }
    QByteArray result;
    if (command.startsWith(QLatin1String("MeasureSample")))
        result = measureSample(command);
    else if (command.startsWith(QLatin1String("SAVEAS"), Qt::CaseInsensitive))
        result = saveAs(command);
    else if (command == QLatin1String("READ_PARAMETER PKA"))
        result = valueReply(amplitude);
    else if (command == QLatin1String("READ_PARAMETER ABP"))
        result = valueReply(position);
    else if (command == QLatin1String("DIAG_STATUS MESSAGE"))
        result = valueReply(messageCode);
    else if (command == QLatin1String("DIAG_STATUS"))
        result = valueReply(statusCode);
    else if (command == QLatin1String("REQUEST_MODE") ||
             command.startsWith(QLatin1String("MeasureReference")) ||
             command.startsWith(QLatin1String("TAKE_REFERENCE")) ||
             command.startsWith(QLatin1String("UNLOAD_FILE ")) ||
             command.startsWith(QLatin1String("READ_FROM_FILE ")) ||
             command.startsWith(QLatin1String("READ_FROM_BLOCK ")) || command == QLatin1String("CLOSE_OPUS"))
        result = "OK\r\n";
    else
        result = "ERROR Unknown command\r\n";
    return overridden ? override : result;
}

QByteArray SimSpectrometer::measureSample(const QString& command)
{
    static const QRegularExpression nameRe(QStringLiteral("NAM='([^']*)'"));
    static const QRegularExpression folderRe(QStringLiteral("PTH='([^']*)'"));
    const QRegularExpressionMatch name = nameRe.match(command);
    const QRegularExpressionMatch folder = folderRe.match(command);
    if (!name.hasMatch() || !folder.hasMatch())
        return "ERROR MeasureSample without NAM or PTH\r\n";
    const QString commandPath = folder.captured(1) + QLatin1Char('\\') + name.captured(1);
    const QString dir = localPath(folder.captured(1));
    if (!QFileInfo(dir).isDir())
        return "ERROR Path not found: " + folder.captured(1).toUtf8() + "\r\n";
    QString key;
    ScanFault fault = ScanFault::None;
    {
        QMutexLocker lock(&m_mutex);
        key = m_mountedStone;
        if (m_scanFault != ScanFault::None && m_goodScansBeforeFault-- == 0)
            fault = std::exchange(m_scanFault, ScanFault::None);
    }
    if (key.isEmpty())
        key = stoneKeyFor(name.captured(1));
    const int scan = m_scanCounts[key]++;
    QFile file(QDir(dir).filePath(name.captured(1)));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return "ERROR Cannot write " + commandPath.toUtf8() + "\r\n";
    file.write(SimFileMagic + "\n" + key.toUtf8() + "\n" + QByteArray::number(scan) + "\n");
    file.write(spectrumFor(key, scan, fault));
    if (!file.flush()) {
        file.close();
        file.remove();
        return "ERROR Cannot write " + commandPath.toUtf8() + "\r\n";
    }
    file.close();
    // From character 8 on: the file's path, one character, then a blank.
    return "OK\r\n1\r\n" + commandPath.toUtf8() + ", 1 AB\r\n";
}

QByteArray SimSpectrometer::saveAs(const QString& command)
{
    static const QRegularExpression sourceRe(
        QStringLiteral("^SAVEAS\\s*\\(?\\s*\\[\\s*[\"']([^\"']*)[\"']\\s*:\\s*AB\\s*\\]"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression folderRe(QStringLiteral("DAP='([^']*)'"));
    static const QRegularExpression nameRe(QStringLiteral("SAN='([^']*)'"));
    const QRegularExpressionMatch source = sourceRe.match(command);
    const QRegularExpressionMatch folder = folderRe.match(command);
    const QRegularExpressionMatch name = nameRe.match(command);
    if (!source.hasMatch() || !folder.hasMatch() || !name.hasMatch())
        return "ERROR SAVEAS without file, DAP or SAN\r\n";
    QFile measured(localPath(source.captured(1)));
    if (!measured.open(QIODevice::ReadOnly))
        return "ERROR File not loaded: " + source.captured(1).toUtf8() + "\r\n";
    const QByteArray content = measured.readAll();
    qsizetype start = 0;
    for (int lines = 0; lines < 3 && start >= 0; ++lines) {
        start = content.indexOf('\n', start);
        if (start >= 0)
            ++start;
    }
    if (!content.startsWith(SimFileMagic) || start < 0)
        return "ERROR No AB block in " + source.captured(1).toUtf8() + "\r\n";
    QString target = name.captured(1);
    if (!target.endsWith(QLatin1String(".dpt"), Qt::CaseInsensitive))
        target += QLatin1String(".dpt");
    const QString dir = localPath(folder.captured(1));
    QFile table(QDir(dir).filePath(target));
    if (!table.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return "ERROR Cannot write " + target.toUtf8() + "\r\n";
    const QByteArray body = content.mid(start);
    if (table.write(body) != body.size() || !table.flush()) {
        table.close();
        table.remove();
        return "ERROR Cannot write " + target.toUtf8() + "\r\n";
    }
    return "OK\r\n";
}

QString SimSpectrometer::stoneKeyFor(const QString& sampleName)
{
    static const QRegularExpression stationPiece(QStringLiteral("-\\d"));
    const QRegularExpressionMatch match = stationPiece.match(sampleName);
    if (match.hasMatch())
        return sampleName.left(match.capturedStart());
    const qsizetype dot = sampleName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? sampleName : sampleName.left(dot);
}

QString SimSpectrometer::localPath(const QString& commandPath) const
{
#ifdef Q_OS_WIN
    return commandPath;
#else
    QString path = commandPath;
    path.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (path.contains(QLatin1String("//")))
        path.replace(QLatin1String("//"), QLatin1String("/"));
    const QString root = m_dataRoot.isEmpty() ? QDir::currentPath() : m_dataRoot;
    static const QRegularExpression drive(QStringLiteral("^([A-Za-z]):/?"));
    const QRegularExpressionMatch match = drive.match(path);
    if (match.hasMatch())
        return QDir(root).filePath(match.captured(1).toUpper() + QLatin1Char('/') +
                                   path.mid(match.capturedEnd()));
    if (path.startsWith(QLatin1Char('/')))
        return path;
    return QDir(root).filePath(path);
#endif
}
