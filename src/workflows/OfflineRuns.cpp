#include "workflows/StoneWorkflowsShared.h"

#include "core/ConsoleModel.h"
#include "core/ConsoleStatus.h"
#include "core/StationConsole.h"
#include "server/ServerClient.h"
#include "spectro/Spectrometer.h"

using namespace StoneShared;

namespace {

const QString kStartingOfflineQuery = QStringLiteral("Starting OffLine QUERY..");
const QString kStartingOfflineRegistration = QStringLiteral("Starting OffLine Registration..");
const QString kMoveStoneOffline = QStringLiteral("Move Stone Postion Slightly !!! Continue ?");
const QString kGeneratingRegistration = QStringLiteral("Generating Registration !!!");
const QString kAllDoneRegistration = QStringLiteral("All Done  - Registration Done =  ");
const QString kNotSubmitted = QStringLiteral("Registration NOT submitted - failed uploads: ");
const QString kSubmitFailed = QStringLiteral("Registration NOT submitted - ");

// The activities as the window title names them while they run.
const QString kOfflineRegistrationActivity = QStringLiteral("Offline registration");
const QString kOfflineQueryActivity = QStringLiteral("Offline query");

} // namespace

void StoneWorkflows::RunOfflineQuery()
{
    runOffline(true);
}

void StoneWorkflows::RunOfflineRegistration()
{
    runOffline(false);
}

void StoneWorkflows::runOffline(bool query)
{
    if (m_running || m_console.hasEnded())
        return;
    StationState& s = stationState();
    ConsoleModel& m = m_model;
    Running running(*this);
    ActivityCaption caption(m_console.status(), query ? kOfflineQueryActivity : kOfflineRegistrationActivity,
                            m.Text8->text());
    if (!m_server.CheckServerStatus()) {
        m_operator.showSystemMessage(kNotReachable, kConnectivityIssue);
        return;
    }
    if (s.IdReady.isZeroOrEmpty()) {
        m_operator.showSystemMessage(kGenerateId, kGenerateIdTitle);
        return;
    }
    journalBegin(query ? QStringLiteral("offline query") : QStringLiteral("offline registration"));
    beginScanChecks();
    m.Text6->setText(QStringLiteral("6"));
    m.Text1->setText(QStringLiteral("67"));
    const bool command18 = m.Command18->isEnabled();
    const bool command19 = m.Command19->isEnabled();
    auto restoreStage = [&] {
        m.Command18->setEnabled(command18);
        m.Command19->setEnabled(command19);
    };
    s.DataFailed = false;
    s.EscapePressed = false;
    m.setMsg(query ? kStartingOfflineQuery : kStartingOfflineRegistration);
    m_server.Login();
    m_operator.LockConsole();
    m.Label_R[0]->setEnabled(false);
    m.Label_Q[0]->setEnabled(false);
    m.Query_1->setEnabled(false);

    auto breakOff = [&] {
        journalAbort();
        s.IdReady = 0;
        m_operator.UnlockConsole();
        restoreStage();
        const QString error = m_uploadReport;
        backUpThenDelete();
        if (s.EscapePressed) {
            m.setMsg(kEscapeQuery);
        } else if (m_closeRequested || m_console.hasEnded()) {
            m.setMsg(kClosing);
        } else {
            m.setMsg(error);
            m_operator.AskOperator(error, kErrorMessage);
        }
    };

    QStringList failedUploads;
    const int count = scanCount(m.Text6);
    for (s.MeasurementIndex = 0; s.MeasurementIndex < count; ++s.MeasurementIndex) {
        caption.setScan(s.MeasurementIndex + 1, count);
        for (;;) {
            if (stopRequested()) {
                breakOff();
                return;
            }
            m_spectro.Command100_Click();
            // Nothing can be measured again here: a failed check may stop the run instead.
            if (checkSavedScan(false) == AfterCheck::Stop) {
                breakOff();
                return;
            }
            if (query)
                upload([this] { m_server.UploadQueryScan(); });
            else
                upload([this] { m_server.UploadRegistrationScan(); });
            if (stopRequested()) {
                breakOff();
                return;
            }
            if (!query) {
                if (s.DataFailed.toBool())
                    failedUploads << QString::number(s.MeasurementIndex + 1);
                break;
            }
            if (s.DataFailed.toBool()) {
                const AfterFailure next = askAfterFailedUpload(kMoveStoneOffline, kDataFailed);
                if (next == AfterFailure::Repeat)
                    continue;
                if (next == AfterFailure::Stop) {
                    breakOff();
                    return;
                }
            }
            break;
        }
        m_operator.TimedWait(1);
        m.setMsg(finishedQuery(s.MeasurementIndex));
    }

    m.setMsg(kAllCaptured);
    m_operator.UnlockConsole();
    restoreStage();
    QString failure;
    if (query) {
        m.setMsg(kGeneratingQuery);
        failure = publish();
    } else {
        m.setMsg(kGeneratingRegistration);
        // Registering offline files the stone like the measured registration does, but only
        // when every scan reached the server: a partial set would become the stone's reference.
        if (failedUploads.isEmpty() && !m_server.SubmitMainFiles())
            failure = m.msgText();
    }
    journalServerResult(query ? QStringLiteral("publication") : QStringLiteral("submission"), failedUploads);
    s.IdReady = 0;
    backUpThenDelete();
    if (query)
        m.setMsg(failure.isEmpty() ? kAllDoneQuery + s.QueryId : kNotPublished + failure);
    else if (!failure.isEmpty())
        m.setMsg(kSubmitFailed + failure);
    else if (failedUploads.isEmpty())
        m.setMsg(kAllDoneRegistration);
    else
        m.setMsg(kNotSubmitted + failedUploads.join(QLatin1Char(',')));
}
