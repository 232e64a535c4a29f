#include "workflows/StoneWorkflowsShared.h"

#include "core/BlockingCall.h"
#include "core/ConsoleModel.h"
#include "core/SpectrometerLink.h"
#include "core/StationConsole.h"
#include "motion/StageControl.h"
#include "server/ServerClient.h"
#include "spectro/Spectrometer.h"
#include "workflows/StoneModes.h"

using namespace StoneShared;

namespace {

const QString kBackupFailedTitle = QStringLiteral("Backup Failed");
const QString kBackupFailed = QStringLiteral("Backup failed - these files stay in the data folder: ");
const QString kNoSpectrumFile = QStringLiteral("Error: No spectrum file ");
const QString kNoSpectrumFileIn = QStringLiteral(" in ");
const QString kNoLink = QStringLiteral(" - no link to the spectrometer software: ");

// Closing the console in the middle of a sequence
const QString kCloseQuestion =
    QStringLiteral("A measurement is running. Stop it safely and close the program ?");
const QString kCloseTitle = QStringLiteral("Close Program");

} // namespace

StoneWorkflows::StoneWorkflows(StationConsole& console, Operator& op, StageControl& stage,
                               Spectrometer& spectrometer, ServerClient& server, Journal& journal)
    : m_console(console)
    , m_model(console.model())
    , m_operator(op)
    , m_stage(stage)
    , m_spectro(spectrometer)
    , m_server(server)
    , m_journal(journal)
{
    ConsoleModel& m = m_model;
    connect(m.Rough1, &ConsoleControl::clicked, this, &StoneWorkflows::Rough1_Click);
    connect(m.Polish1, &ConsoleControl::clicked, this, &StoneWorkflows::Polish1_Click);
    connect(m.Splits1, &ConsoleControl::clicked, this, &StoneWorkflows::Splits1_Click);
    connect(m.Polish2, &ConsoleControl::clicked, this, &StoneWorkflows::Polish2_Click);
    connect(m.Polish3, &ConsoleControl::clicked, this, &StoneWorkflows::Polish3_Click);
    connect(m.Polish4, &ConsoleControl::clicked, this, &StoneWorkflows::Polish4_Click);
    for (int i = 0; i < StoneModes::kCount; ++i)
        connect(m.Label14[static_cast<size_t>(i)], &ConsoleControl::clicked, this,
                [this, i] { Label14_Click(i); });
    connect(m.Label_R[0], &ConsoleControl::clicked, this, [this] { Label_R_Click(0); });
    connect(m.Label_Q[0], &ConsoleControl::clicked, this, [this] { Label_Q_Click(0); });
    connect(m.Text8, &ConsoleControl::enterPressed, this, [this] { Text8_KeyPress(kEnter); });
    connect(m.Query_1, &ConsoleControl::clicked, this, &StoneWorkflows::RunOfflineQuery);
    connect(m.Register_1, &ConsoleControl::clicked, this, &StoneWorkflows::RunOfflineRegistration);

    console.hooks().Label_R_Click = [this] { Label_R_Click(0); };
    console.hooks().Label_Q_Click = [this] { Label_Q_Click(0); };
    console.hooks().confirmUnload = [this] { return confirmUnload(); };
}

QString StoneWorkflows::publish()
{
    stationState().QueryId.clear();
    if (m_server.PublishTransactionIds())
        return QString();
    // A refused publication's report names the server's status; a transport failure is the last
    // text the publication wrote.
    const QString report = m_server.lastReport();
    return report.isEmpty() ? m_model.msgText() : report;
}

// ---- shared steps

bool StoneWorkflows::stopRequested() const
{
    return stationState().EscapePressed || m_closeRequested || m_console.hasEnded();
}

void StoneWorkflows::moveInside()
{
    m_stage.Command18_Click();
    m_operator.TimedWait(2, 2000);
}

void StoneWorkflows::retractAndWait(const QString& text)
{
    m_stage.Command19_Click();
    m_operator.TimedWait(6, 1000, text);
}

StoneWorkflows::AfterFailure StoneWorkflows::askAfterFailedUpload(const QString& question,
                                                                  const QString& title)
{
    // The stone comes out; the operator shifts it and repeats the scan, or stops.
    StationState& s = stationState();
    m_operator.TimedWait(6);
    retractAndWait(kArmMoving4);
    const int answer = m_operator.AskOperator(question, title);
    if (answer == kYes) {
        moveInside();
        s.DataFailed = false;
        return AfterFailure::Repeat;
    }
    if (answer == kNo) {
        s.DataFailed = false;
        return AfterFailure::Stop;
    }
    return AfterFailure::GoOn;
}

void StoneWorkflows::rotate()
{
    m_operator.TimedWait(3);
    // Rotate forward by the count in Text1 ("XF" + count), as the manual panel's button does.
    m_stage.Command1_Click();
    m_operator.TimedWait(2);
}

void StoneWorkflows::upload(const std::function<void()>& operation)
{
    // The upload's own final report, not what Msg1 shows now: the link's replies that arrive while
    // its dialog is open overwrite Msg1 after it.
    operation();
    journalScan();
    // A scan that passed its check and reached the server is one of the stone's: later ones compare with it.
    if (!stationState().DataFailed.toBool())
        m_scans.acceptLast();
    QString report = m_server.lastReport();
    const StationState& s = stationState();
    if (report.isEmpty() && s.DataFailed.toBool()) {
        // The upload found no spectrum file and says nothing; Msg1 still holds the software's last
        // reply, often "OK". The operator must learn that this scan was not saved, and why if the
        // link is gone.
        report = kNoSpectrumFile + s.SpectrumFileName + kNoSpectrumFileIn + s.DataFolder.toText();
        const SpectrometerLink* link = m_console.link();
        if (!link || !link->isConnected())
            report += kNoLink + m_spectro.lastSendError();
        m_model.setMsg1(report);
    }
    m_uploadReport = report.isEmpty() ? m_model.msg1Text() : report;
}

void StoneWorkflows::backUpThenDelete()
{
    const BackupReport report = m_spectro.backUpThenDeleteDataFiles();
    journalBackup(report);
    if (!report.keptFiles.isEmpty() && !m_console.hasEnded())
        m_operator.showSystemMessage(kBackupFailed + report.keptFiles.join(QStringLiteral(", ")),
                                     kBackupFailedTitle, Operator::Icon::Warning);
}

// ---- closing the console

bool StoneWorkflows::confirmUnload()
{
    if (!m_running)
        return true;
    // The dialog is busy with the sequence's own question: that one is answered first.
    if (m_closeRequested || m_operator.isAsking())
        return false;
    if (m_operator.AskOperator(kCloseQuestion, kCloseTitle) == kYes)
        m_closeRequested = true;
    return false;
}

void StoneWorkflows::closeIfRequested()
{
    if (!m_closeRequested)
        return;
    m_closeRequested = false;
    if (m_console.hasEnded())
        return;
    // After the handler that ran the sequence has returned, so the console unloads from the top.
    ConsoleModel* model = &m_model;
    BlockingCall::whenFree(model, [model] { model->requestClose(); });
}
