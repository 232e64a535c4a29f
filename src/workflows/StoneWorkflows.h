#pragma once

#include "core/Journal.h"
#include "quality/ScanSeries.h"

#include <QObject>
#include <QString>

#include <functional>

class ConsoleModel;
class Operator;
class ServerClient;
class Spectrometer;
class StageControl;
class StationConsole;
struct BackupReport;

// The operator-facing sequences: stone-mode selection with its background, the stone ID entry,
// the registration and query sequences and the offline runs. Each runs inside one handler on the
// console's event loop and yields in its waits; only one of them runs at a time. Each sequence has
// its own file (StoneEntry, Registration, QueryRun, OfflineRuns); the steps they share and the
// close during a sequence are in StoneWorkflowsCommon.cpp.
class StoneWorkflows : public QObject
{
    Q_OBJECT
public:
    StoneWorkflows(StationConsole& console, Operator& op, StageControl& stage, Spectrometer& spectrometer,
                   ServerClient& server, Journal& journal = Journal::none());

    // Stone-mode selection and its entry points
    void Label14_Click(int index);
    void Rough1_Click();
    void Polish1_Click() { Label14_Click(1); }
    void Splits1_Click() { Label14_Click(2); }
    void Polish2_Click() { Label14_Click(3); }
    void Polish3_Click() { Label14_Click(4); }
    void Polish4_Click() { Label14_Click(5); }

    // Stone ID entry: only Enter (13) has an effect.
    void Text8_KeyPress(int key);
    // "LOT123-05#7-2" -> "LOT123-7.2": lot prefix, then the part after "#" with its first inner
    // "-" made a point. Texts it cannot reshape come back unchanged.
    static QString ReshapeStoneId(const QString& text);

    // Sequences
    void Label_R_Click(int index);
    void Label_Q_Click(int index);
    void RunOfflineQuery();
    void RunOfflineRegistration();

    // Asked before the window unloads: while a sequence runs the operator may stop it; the window
    // then closes once the sequence has gone through its abort path.
    bool confirmUnload();

    bool isRunning() const { return m_running; }
    // The scans of the running sequence as the spectrum checks saw them (none while checks are off).
    ScanSeries& scanSeries() { return m_scans; }
    bool isCloseRequested() const { return m_closeRequested; }

signals:
    // A sequence or selection began or ended (for the demo and tests).
    void busyChanged(bool busy);

private:
    class Running;
    enum class AbortFrom { Unlock, Backup };

    void acceptStoneId();
    void registrationAbort(AbortFrom from);
    void endAfterTurnOverRefused();
    void queryAbort();
    void runOffline(bool query);

    // Shared steps
    bool stopRequested() const;
    // Back up the data folder, then delete only what was safely backed up; reports kept files.
    void backUpThenDelete();
    // Runs one upload and keeps the report it wrote into Msg1.
    void upload(const std::function<void()>& operation);
    // Publishes the query with QueryId cleared first; empty on success, else what went wrong.
    QString publish();
    void moveInside();
    void retractAndWait(const QString& text);
    enum class AfterFailure { Repeat, Stop, GoOn };
    AfterFailure askAfterFailedUpload(const QString& question, const QString& title);
    void rotate();
    void closeIfRequested();

    // The spectrum checks between the save and the upload (StoneWorkflowsChecks.cpp).
    enum class AfterCheck { Upload, Repeat, Stop };
    void beginScanChecks();
    // Repeat: the operator has this position measured again; Stop: an offline run ends.
    AfterCheck checkSavedScan(bool canMeasureAgain);
    void journalCheckedScan();
    void addScanCheck(QJsonObject& scanRecord);

    // The run journal's records of a sequence (StoneWorkflowsJournal.cpp).
    void journalBegin(const QString& sequence);
    void journalScan();
    void journalBackup(const BackupReport& report);
    // The submission or publication and its reply; scans that failed to upload stop it instead.
    void journalServerResult(const QString& event, const QStringList& failedUploads = {});
    // An abort: Escape, close, the server's refusal or an error.
    void journalAbort();
    QStringList spectrumFiles() const;

    StationConsole& m_console;
    ConsoleModel& m_model;
    Operator& m_operator;
    StageControl& m_stage;
    Spectrometer& m_spectro;
    ServerClient& m_server;
    Journal& m_journal;
    bool m_running = false;
    bool m_closeRequested = false;
    // The last upload's report as it left it in Msg1: the link's replies overwrite Msg1 during the
    // waits that follow, and the error dialog must show what the server said.
    QString m_uploadReport;
    // The stone ID box's text as scanned, and what the lookup and reshaping made of it: a run whose
    // stone is still that text journals the scan too (an auditor searches by what the paper says).
    struct ScannedStone
    {
        QString scanned;
        QString stone;
    } m_scannedStone;
    ScanSeries m_scans;
    QJsonObject m_scanCheck; // the last check, for the scan's journal record
};
