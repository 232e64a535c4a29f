#include "workflows/StoneWorkflows.h"

#include "core/ConsoleModel.h"
#include "core/LocalPath.h"
#include "core/StationConsole.h"
#include "core/StationState.h"
#include "server/ServerClient.h"
#include "spectro/BackupReport.h"
#include "spectro/Spectrometer.h"

#include <QDir>
#include <QJsonArray>

namespace {

// Enough of a server's reply to see what it said; a refusal's page can be long.
constexpr qsizetype kReplyChars = 500;

// The station took the scan as uploaded: a 201 whose reply gave no readable id is a failure.
bool accepted(const ServerClient::Outcome& outcome)
{
    return outcome.status == 201 && outcome.error.isEmpty();
}

QJsonObject outcomeFields(const ServerClient::Outcome& outcome)
{
    QJsonObject fields{{QStringLiteral("status"), outcome.status}};
    if (!outcome.id.isEmpty())
        fields.insert(QStringLiteral("id"), outcome.id);
    if (!outcome.error.isEmpty())
        fields.insert(QStringLiteral("error"), outcome.error);
    if (!outcome.reply.isEmpty())
        fields.insert(QStringLiteral("reply"), outcome.reply.left(kReplyChars));
    return fields;
}

} // namespace

void StoneWorkflows::journalBegin(const QString& sequence)
{
    const StationState& s = stationState();
    const QString stone = m_model.Text8->text();
    QJsonObject fields{{QStringLiteral("sequence"), sequence},
                       {QStringLiteral("stone"), stone},
                       {QStringLiteral("lot"), s.LotCode.toText()},
                       {QStringLiteral("mode"), s.StageName},
                       {QStringLiteral("experiment"), s.ExperimentFile.toText()},
                       {QStringLiteral("dataFolder"), s.DataFolder.toText()},
                       {QStringLiteral("backupFolder"), QDir::toNativeSeparators(m_spectro.backupFolder())}};
    if (!m_scannedStone.scanned.isEmpty() && m_scannedStone.stone == stone)
        fields.insert(QStringLiteral("scanned"), m_scannedStone.scanned);
    // Where this machine finds the spectra when the software's data folder is a share here.
    if (!m_console.environment().localDataFolder.isEmpty())
        fields.insert(QStringLiteral("localDataFolder"),
                      QDir::toNativeSeparators(m_spectro.localDataFolder()));
    m_journal.beginRun(fields);
}

QStringList StoneWorkflows::spectrumFiles() const
{
    const StationState& s = stationState();
    const QString base = s.SpectrumBaseName.toText();
    if (base.isEmpty())
        return {};
    const QString folder = s.DataFolder.toText();
    const QDir dir(LocalPath::of(folder, folder, m_console.environment().localDataFolder));
    QStringList paths;
    for (const QString& name : dir.entryList({base + QStringLiteral(".*")}, QDir::Files, QDir::Name))
        paths << dir.filePath(name);
    return paths;
}

void StoneWorkflows::journalScan()
{
    const ServerClient::Outcome& outcome = m_server.lastOutcome();
    QJsonObject fields = outcomeFields(outcome);
    // A refusal's reply is the point; an accepted one only repeats the id.
    if (accepted(outcome))
        fields.remove(QStringLiteral("reply"));
    fields.insert(QStringLiteral("scan"), stationState().MeasurementIndex + 1);
    fields.insert(QStringLiteral("files"), Journal::describeFiles(spectrumFiles()));
    addScanCheck(fields);
    m_journal.record(QStringLiteral("scan"), fields);
}

void StoneWorkflows::journalBackup(const BackupReport& report)
{
    m_journal.record(QStringLiteral("backup"),
                     {{QStringLiteral("backupFolder"), QDir::toNativeSeparators(report.backupFolder)},
                      {QStringLiteral("files"), report.files},
                      {QStringLiteral("copied"), report.copied},
                      {QStringLiteral("failed"), report.failed},
                      {QStringLiteral("deleted"), report.deleted},
                      {QStringLiteral("kept"), QJsonArray::fromStringList(report.keptFiles)},
                      {QStringLiteral("copiedFiles"), QJsonArray::fromStringList(report.copiedFiles)},
                      {QStringLiteral("failedFiles"), QJsonArray::fromStringList(report.failedFiles)}});
}

void StoneWorkflows::journalServerResult(const QString& event, const QStringList& failedUploads)
{
    if (!failedUploads.isEmpty()) {
        m_journal.abortRun(QStringLiteral("upload failed"), QStringLiteral("not submitted, failed scans ") +
                                                                failedUploads.join(QLatin1Char(',')));
        return;
    }
    const ServerClient::Outcome& outcome = m_server.lastOutcome();
    m_journal.record(event, outcomeFields(outcome));
    if (accepted(outcome))
        m_journal.completeRun();
    else
        m_journal.abortRun(outcome.status != 0 ? QStringLiteral("server refusal") : QStringLiteral("error"),
                           outcome.error.isEmpty() ? outcome.reply.left(kReplyChars) : outcome.error);
}

void StoneWorkflows::journalAbort()
{
    if (stationState().EscapePressed) {
        m_journal.abortRun(QStringLiteral("Escape"));
        return;
    }
    if (m_closeRequested || m_console.hasEnded()) {
        m_journal.abortRun(QStringLiteral("close"));
        return;
    }
    const int status = m_server.lastOutcome().status;
    m_journal.abortRun(status != 0 && status != 201 ? QStringLiteral("server refusal")
                                                    : QStringLiteral("error"),
                       m_uploadReport);
}
