#include "core/Journal.h"

#include "core/DurableFile.h"
#include "core/StationState.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QStandardPaths>

namespace {

const QString kNotWritten = QStringLiteral("Journal not written (the station goes on): ");
const QString kSuffix = QStringLiteral(".jsonl");

QByteArray jsonString(const QString& text)
{
    // A one-element array escapes the text as JSON does; the brackets are dropped.
    const QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

QString isoTime(const QDateTime& time)
{
    // With its UTC offset, so records of a station that changed time zone still sort.
    return time.toOffsetFromUtc(time.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

} // namespace

Journal::Journal(QString folder, std::function<QDateTime()> now)
    : m_folder(std::move(folder))
    , m_now(now ? std::move(now) : [] { return QDateTime::currentDateTime(); })
{
}

Journal& Journal::none()
{
    static Journal disabled;
    return disabled;
}

QString Journal::defaultFolder()
{
    // The generic folder plus the station's name is what AppLocalDataLocation gives velora-station
    // on every platform; the demo and velora-journal have other application names.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
           QStringLiteral("/velora-station/journal");
}

QString Journal::fileFor(const QDate& day) const
{
    return QDir(m_folder).filePath(day.toString(Qt::ISODate) + kSuffix);
}

bool Journal::record(const QString& event, const QJsonObject& fields)
{
    if (!isEnabled())
        return false;
    const QDateTime time = m_now();
    // Time, machine and event lead each line for a reader of the raw file.
    QByteArray line = "{\"time\":" + jsonString(isoTime(time)) +
                      ",\"machine\":" + jsonString(stationState().UserName) +
                      ",\"event\":" + jsonString(event);
    if (inRun())
        line += ",\"run\":" + jsonString(m_run);
    const QByteArray rest = QJsonDocument(fields).toJson(QJsonDocument::Compact);
    if (rest.size() > 2)
        line += ',' + rest.mid(1);
    else
        line += '}';
    line += '\n';
    return append(time, line);
}

bool Journal::append(const QDateTime& time, const QByteArray& text)
{
    if (!QDir().mkpath(m_folder)) {
        fail(QStringLiteral("cannot create ") + QDir::toNativeSeparators(m_folder));
        return false;
    }
    const QString path = fileFor(time.date());
    QByteArray line = text;
    QFile file(path);
    if (path != m_checkedPath) {
        // A line torn by a power cut must not swallow the next record.
        if (file.open(QIODevice::ReadOnly) && file.size() > 0 && file.seek(file.size() - 1) &&
            file.read(1) != "\n")
            line.prepend('\n');
        file.close();
        m_checkedPath = path;
    }
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        fail(QDir::toNativeSeparators(path) + QStringLiteral(": ") + file.errorString());
        return false;
    }
    const qint64 written = file.write(line);
    bool ok = written == line.size() && file.flush();
    ok = ok && DurableFile::flushToDisk(file.handle());
    if (!ok) {
        fail(QDir::toNativeSeparators(path) + QStringLiteral(": ") + file.errorString());
        // A partial line is torn: the next record starts on a line of its own.
        m_checkedPath.clear();
        return false;
    }
    return true;
}

void Journal::fail(const QString& text)
{
    if (m_reported)
        return;
    m_reported = true;
    if (m_report)
        m_report(kNotWritten + text);
}

void Journal::beginRun(const QJsonObject& fields)
{
    if (!isEnabled())
        return;
    m_runAborted = false;
    m_runCompleted = false;
    m_run = isoTime(m_now());
    record(QStringLiteral("sequence-start"), fields);
}

void Journal::abortRun(const QString& cause, const QString& detail)
{
    QJsonObject fields{{QStringLiteral("cause"), cause}};
    if (!detail.isEmpty())
        fields.insert(QStringLiteral("detail"), detail);
    record(QStringLiteral("abort"), fields);
    m_runAborted = true;
}

void Journal::endRun(const QString& causeIfUnfinished, const QJsonObject& fields)
{
    if (!inRun())
        return;
    if (!m_runAborted && !m_runCompleted)
        abortRun(causeIfUnfinished);
    QJsonObject end = fields;
    end.insert(QStringLiteral("outcome"),
               m_runAborted ? QStringLiteral("aborted") : QStringLiteral("completed"));
    record(QStringLiteral("sequence-end"), end);
    m_run.clear();
    m_runAborted = false;
    m_runCompleted = false;
}

QStringList Journal::prune()
{
    QStringList removed;
    if (!isEnabled())
        return removed;
    const QDate oldest = m_now().date().addDays(-KeepDays);
    const QDir dir(m_folder);
    for (const QString& name : dir.entryList({QStringLiteral("*") + kSuffix}, QDir::Files)) {
        const QDate day = QDate::fromString(name.chopped(kSuffix.size()), Qt::ISODate);
        if (day.isValid() && day < oldest && QFile::remove(dir.filePath(name)))
            removed << name;
    }
    return removed;
}

QJsonArray Journal::describeFiles(const QStringList& paths)
{
    QJsonArray files;
    for (const QString& path : paths) {
        QJsonObject entry{{QStringLiteral("name"), QFileInfo(path).fileName()}};
        QFile file(path);
        QCryptographicHash hash(QCryptographicHash::Sha256);
        if (file.open(QIODevice::ReadOnly) && hash.addData(&file)) {
            entry.insert(QStringLiteral("size"), double(file.size()));
            entry.insert(QStringLiteral("sha256"), QString::fromLatin1(hash.result().toHex()));
        } else {
            entry.insert(QStringLiteral("error"), file.errorString());
        }
        files.append(entry);
    }
    return files;
}
