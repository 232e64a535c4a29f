#pragma once

#include <QDate>
#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <functional>

// The run journal: one JSON object per line, one file per day (YYYY-MM-DD.jsonl). Each record is
// written with one write call and flushed, so a power cut can tear only the last line. A journal that
// cannot be written never stops the station: the first failure is reported once, then it goes on.
class Journal
{
public:
    static constexpr int KeepDays = 180;

    // An empty folder journals nothing. now gives the wall-clock time of each record (tests set it).
    explicit Journal(QString folder = QString(), std::function<QDateTime()> now = {});

    // The journal of subsystems built without one: writes nothing.
    static Journal& none();
    // velora-station/journal in the platform's application-data folder (the station's own
    // AppLocalDataLocation), the same for the station, the demo and the reader.
    static QString defaultFolder();

    bool isEnabled() const { return !m_folder.isEmpty(); }
    QString folder() const { return m_folder; }
    QString fileFor(const QDate& day) const;
    // Told once, the first time a record cannot be written.
    void setFailureReporter(std::function<void(const QString& text)> report) { m_report = std::move(report); }

    // Appends one record: time, machine id (the station's user name), event, the run it belongs to
    // (while a sequence runs), then fields. False when it was not written.
    bool record(const QString& event, const QJsonObject& fields = {});

    // A sequence from start to end. Records in between carry its run id.
    void beginRun(const QJsonObject& fields);
    // An abort with its cause; the run's end then says "aborted".
    void abortRun(const QString& cause, const QString& detail = QString());
    void completeRun() { m_runCompleted = true; }
    // Writes the end record, "completed" or "aborted"; a run that was neither completed nor aborted
    // is aborted first with causeIfUnfinished.
    void endRun(const QString& causeIfUnfinished, const QJsonObject& fields = {});
    bool inRun() const { return !m_run.isEmpty(); }
    bool runAborted() const { return m_runAborted; }

    // Removes day files older than KeepDays before today; returns the names removed.
    QStringList prune();

    // name, size and SHA-256 of each file (unreadable files say so instead).
    static QJsonArray describeFiles(const QStringList& paths);

private:
    bool append(const QDateTime& time, const QByteArray& line);
    void fail(const QString& text);

    QString m_folder;
    std::function<QDateTime()> m_now;
    std::function<void(const QString&)> m_report;
    bool m_reported = false;
    QString m_checkedPath; // day file whose last byte was checked for a torn line
    QString m_run;
    bool m_runAborted = false;
    bool m_runCompleted = false;
};
