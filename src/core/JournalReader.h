#pragma once

#include <QByteArray>
#include <QDate>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// Reads the run journal's day files. A line that is not a whole JSON object (the last line torn by a
// power cut) is skipped and reported; it never ends the reading.
class JournalReader
{
public:
    struct Line
    {
        QString file;
        int number = 0;
        QByteArray text; // as stored, without its line end
        QJsonObject record;
    };

    // The newest sequence that has neither an end nor an interruption record.
    struct UnfinishedRun
    {
        QJsonObject start;     // its sequence-start record
        QJsonObject backup;    // its last backup record; empty when its files were not backed up
        int scansUploaded = 0; // scans the server accepted
        int scansSaved = 0;    // scans whose spectrum files were saved
        QStringList problems;  // torn lines met on the way
    };

    explicit JournalReader(QString folder);

    QString folder() const { return m_folder; }
    // Day files from since on (every one when since is null), oldest first.
    QStringList dayFiles(const QDate& since = QDate()) const;
    // Appends the records of one day file to lines; skipped lines go to problems. False (and error)
    // when the file cannot be read at all.
    bool read(const QString& path, QList<Line>* lines, QStringList* problems, QString* error) const;

    std::optional<UnfinishedRun> lastUnfinishedRun() const;
    // What the operator is told at start-up about an unfinished run.
    static QString notice(const UnfinishedRun& run);

    // Whether a scan record is of a scan the station took as uploaded: a 201 with a readable id.
    static bool scanUploaded(const QJsonObject& scan);
    // The data folder of a run's start record as this machine reaches it.
    static QString localDataFolder(const QJsonObject& start);

private:
    QString m_folder;
};
