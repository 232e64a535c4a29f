#include "core/JournalReader.h"

#include "core/LocalPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSet>

#include <algorithm>

namespace {

const QString kSuffix = QStringLiteral(".jsonl");

QString text(const QJsonObject& record, const char* key)
{
    return record.value(QLatin1String(key)).toString();
}

// Scans whose files lie in the data folder (this machine's path): the spectrum base names there
// that start with the lot code.
int scansInDataFolder(const QString& dataFolder, const QString& lot)
{
    if (dataFolder.isEmpty() || lot.isEmpty())
        return 0;
    QSet<QString> bases;
    const QDir dir(dataFolder);
    for (const QFileInfo& info : dir.entryInfoList({lot + QStringLiteral("-*")}, QDir::Files))
        bases.insert(info.completeBaseName());
    return int(bases.size());
}

} // namespace

JournalReader::JournalReader(QString folder)
    : m_folder(std::move(folder))
{
}

QStringList JournalReader::dayFiles(const QDate& since) const
{
    const QDir dir(m_folder);
    QStringList files;
    for (const QString& name : dir.entryList({QStringLiteral("*") + kSuffix}, QDir::Files, QDir::Name)) {
        const QDate day = QDate::fromString(name.chopped(kSuffix.size()), Qt::ISODate);
        if (day.isValid() && (since.isNull() || day >= since))
            files << dir.filePath(name);
    }
    return files;
}

bool JournalReader::read(const QString& path, QList<Line>* lines, QStringList* problems, QString* error) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QDir::toNativeSeparators(path) + QStringLiteral(": ") + file.errorString();
        return false;
    }
    const QList<QByteArray> texts = file.readAll().split('\n');
    const QString name = QFileInfo(path).fileName();
    for (qsizetype i = 0; i < texts.size(); ++i) {
        const QByteArray& line = texts[i];
        if (line.trimmed().isEmpty())
            continue;
        QJsonParseError parseError;
        const QJsonDocument document = QJsonDocument::fromJson(line, &parseError);
        if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
            const bool last = i == texts.size() - 1;
            problems->append(QStringLiteral("%1 line %2: %3 skipped")
                                 .arg(name)
                                 .arg(i + 1)
                                 .arg(last ? QStringLiteral("torn last line (not ended)")
                                           : QStringLiteral("unreadable line")));
            continue;
        }
        lines->append({path, int(i + 1), line, document.object()});
    }
    return true;
}

std::optional<JournalReader::UnfinishedRun> JournalReader::lastUnfinishedRun() const
{
    UnfinishedRun run;
    QList<Line> later; // records after the start, newest file first
    QStringList files = dayFiles();
    std::reverse(files.begin(), files.end());
    for (const QString& path : files) {
        QList<Line> lines;
        QString error;
        if (!read(path, &lines, &run.problems, &error)) {
            run.problems << error;
            continue;
        }
        for (qsizetype i = lines.size() - 1; i >= 0; --i) {
            const QJsonObject& record = lines[i].record;
            const QString event = text(record, "event");
            if (event == QLatin1String("sequence-end") || event == QLatin1String("interrupted"))
                return std::nullopt;
            if (event != QLatin1String("sequence-start")) {
                later << lines[i];
                continue;
            }
            run.start = record;
            const QString id = text(record, "run");
            QSet<int> uploaded;
            QSet<int> saved;
            // later holds the records newest first: the first backup met is the run's last.
            for (const Line& line : later) {
                if (text(line.record, "run") != id)
                    continue;
                const QString lineEvent = text(line.record, "event");
                if (lineEvent == QLatin1String("backup") && run.backup.isEmpty())
                    run.backup = line.record;
                if (lineEvent != QLatin1String("scan"))
                    continue;
                const int scan = line.record.value(QLatin1String("scan")).toInt();
                if (scanUploaded(line.record))
                    uploaded.insert(scan);
                if (!line.record.value(QLatin1String("files")).toArray().isEmpty())
                    saved.insert(scan);
            }
            run.scansUploaded = int(uploaded.size());
            run.scansSaved =
                std::max(int(saved.size()), scansInDataFolder(localDataFolder(record), text(record, "lot")));
            return run;
        }
    }
    return std::nullopt;
}

QString JournalReader::notice(const UnfinishedRun& run)
{
    const QJsonObject& s = run.start;
    const QString data = QDir::toNativeSeparators(localDataFolder(s));
    QString where = data;
    if (!run.backup.isEmpty()) {
        // A backup moves each file it copied and verified; what it could not move stays.
        const int inBackup = run.backup.value(QLatin1String("copied")).toInt();
        const int inData = int(run.backup.value(QLatin1String("kept")).toArray().size());
        QString backup = text(run.backup, "backupFolder");
        if (backup.isEmpty())
            backup = text(s, "backupFolder");
        if (inBackup > 0 && inData == 0)
            where = backup;
        else if (inBackup > 0)
            where = QStringLiteral("%1 (%2 file(s)) and %3 (%4 file(s))")
                        .arg(backup)
                        .arg(inBackup)
                        .arg(data)
                        .arg(inData);
    }
    return QStringLiteral("Unfinished %1 of stone %2, lot code %3 (started %4): %5 scan(s) saved, %6 "
                          "uploaded; the files are in %7")
        .arg(text(s, "sequence"), text(s, "stone"), text(s, "lot"),
             text(s, "time").left(19).replace(u'T', u' '))
        .arg(run.scansSaved)
        .arg(run.scansUploaded)
        .arg(where);
}

bool JournalReader::scanUploaded(const QJsonObject& scan)
{
    return scan.value(QLatin1String("status")).toInt() == 201 && !scan.contains(QLatin1String("error"));
}

QString JournalReader::localDataFolder(const QJsonObject& start)
{
    const QString local = text(start, "localDataFolder");
    return local.isEmpty() ? LocalPath::of(text(start, "dataFolder")) : local;
}
