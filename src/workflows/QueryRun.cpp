#include "workflows/StoneWorkflowsShared.h"

#include "core/ConsoleModel.h"
#include "core/ConsoleStatus.h"
#include "core/StationConsole.h"
#include "motion/StageControl.h"
#include "server/ServerClient.h"
#include "spectro/Spectrometer.h"

#include <exception>

using namespace StoneShared;

namespace {

const QString kStartingQuery = QStringLiteral("Starting QUERY..");
const QString kStonePlacedQuery = QStringLiteral("Have you Placed the stone ?");
const QString kPlaceTheStoneTitle = QStringLiteral("Place the Stone");
const QString kMeasuringNowQuery = QStringLiteral("Measuring Now .. Please wait !!! ");
const QString kDataFailedQuery = QStringLiteral("Data Failed !!!. Continue ?");
const QString kMoveStoneQueryTitle = QStringLiteral("Move Stone Postion Slightly !");

// The activity as the window title names it while it runs.
const QString kQueryActivity = QStringLiteral("Query");

} // namespace

void StoneWorkflows::Label_Q_Click(int /*index*/)
{
    if (m_running || m_console.hasEnded())
        return;
    StationState& s = stationState();
    ConsoleModel& m = m_model;
    Running running(*this);
    const ClearIdReadyAtEnd clearIdReady;
    ActivityCaption caption(m_console.status(), kQueryActivity, m.Text8->text());
    if (!m_server.CheckServerStatus()) {
        m_operator.showSystemMessage(kNotReachable, kConnectivityIssue);
        return;
    }
    if (s.IdReady.isZeroOrEmpty()) {
        m_operator.showSystemMessage(kGenerateId, kGenerateIdTitle);
        return;
    }

    journalBegin(QStringLiteral("query"));
    beginScanChecks();
    bool locked = false;
    try {
        m.Text6->setText(QStringLiteral("6"));
        m.Text1->setText(QStringLiteral("67"));
        s.DataFailed = false;
        s.EscapePressed = false;
        m.setMsg(kStartingQuery);
        m_server.Login();
        m.setMsg(kPlaceTheStone);
        if (m_operator.AskOperator(kStonePlacedQuery, kPlaceTheStoneTitle) == kNo)
            return;
        if (m.Command18->isEnabled()) {
            const int answer = m_operator.AskOperator(kMoveInside, kArmMovingInside);
            if (answer == kNo)
                return;
            if (answer == kYes) {
                m_stage.Command18_Click();
                m.setMsg(kMeasuringNowQuery);
                m_operator.TimedWait(3);
            }
        }
        m_operator.LockConsole();
        locked = true;
        m_console.loadPicture(m.Query, QStringLiteral("Query.jpg"));
        m.Label_Q[0]->setColour(kWhite);
        m.Label_Q[0]->setEnabled(false);
        m.Query_1->setEnabled(false);

        const int count = scanCount(m.Text6);
        for (s.MeasurementIndex = 0; s.MeasurementIndex < count; ++s.MeasurementIndex) {
            caption.setScan(s.MeasurementIndex + 1, count);
            for (;;) {
                if (stopRequested()) {
                    queryAbort();
                    return;
                }
                m_spectro.Command8_Click();
                m_operator.TimedWait(12);
                m_spectro.Command10_Click();
                if (checkSavedScan(true) == AfterCheck::Repeat)
                    continue;
                upload([this] { m_server.UploadQueryScan(); });
                if (stopRequested()) {
                    queryAbort();
                    return;
                }
                if (s.DataFailed.toBool()) {
                    const AfterFailure next = askAfterFailedUpload(kDataFailedQuery, kMoveStoneQueryTitle);
                    if (next == AfterFailure::Repeat)
                        continue;
                    if (next == AfterFailure::Stop) {
                        queryAbort();
                        return;
                    }
                }
                break;
            }
            rotate();
            m.setMsg(finishedQuery(s.MeasurementIndex));
        }

        m.setMsg(kAllCaptured);
        m_operator.UnlockConsole();
        retractAndWait(kArmMoving3);
        m.setMsg(kGeneratingQuery);
        const QString failure = publish();
        journalServerResult(QStringLiteral("publication"));
        s.IdReady = 0;
        backUpThenDelete();
        m.setMsg(failure.isEmpty() ? kAllDoneQuery + s.QueryId : kNotPublished + failure);
    } catch (const std::exception& e) {
        // Before the console is locked nothing has been measured: the query just ends.
        m_uploadReport = kStepFailed + QString::fromLocal8Bit(e.what());
        m.setMsg1(m_uploadReport);
        if (locked)
            queryAbort();
        else
            m.setMsg(m_uploadReport);
    }
}

void StoneWorkflows::queryAbort()
{
    journalAbort();
    StationState& s = stationState();
    s.IdReady = 0;
    m_operator.UnlockConsole();
    // After No to the failed-upload question the stage is already outside.
    if (m_model.Command19->isEnabled() && !m_model.Command18->isEnabled())
        retractAndWait(kArmMoving3);
    const QString error = m_uploadReport;
    backUpThenDelete();
    if (s.EscapePressed) {
        m_model.setMsg(kEscapeQuery);
        return;
    }
    if (m_closeRequested || m_console.hasEnded()) {
        m_model.setMsg(kClosing);
        return;
    }
    m_model.setMsg(error);
    m_operator.AskOperator(error, kErrorMessage);
}
