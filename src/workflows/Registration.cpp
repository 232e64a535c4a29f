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

const QString kSelectMode = QStringLiteral("Select Rough or Splits or Polish First");
const QString kSelectModeTitle = QStringLiteral("Select Mode First");
const QString kGenerateIdRegistration =
    QStringLiteral("Enter ID in Scanbar & Press enter and generate Code first");

const QString kStonePlaced = QStringLiteral("Is the Stone correctly Placed?");
const QString kPutTheStone = QStringLiteral("Put the Stone/Diamond");
const QString kMovingInside = QStringLiteral("Moving Inside");
const QString kTurnedOver = QStringLiteral("Have you moved the stone physically ?");
const QString kArmMovingOutside = QStringLiteral("Arm Moving Outside");
const QString kMeasuringNow = QStringLiteral("Measuring .....Now..");
const QString kMoveStoneRegistration = QStringLiteral("Move Stone Postion Slightly !!!! Continue ?");
const QString kStageShouldBeOutside = QStringLiteral("Stage should be outside .. Please check !!! ");
const QString kAllDoneFinished = QStringLiteral("All Done....Finished !!!");
const QString kSubmitting = QStringLiteral("Submitting Main Files !!!");
const QString kEscapeRegistration = QStringLiteral("You Pressed Escape...Abrupted Registration!!!");
const QString kTurnOverRefused =
    QStringLiteral("Registration Stopped...Stone not turned over - nothing submitted !!!");

// The activity as the window title names it while it runs.
const QString kRegistrationActivity = QStringLiteral("Registration");

QString finishedRegistration(int index)
{
    return QStringLiteral("Finished ...") + QString::number(index + 1) + QStringLiteral("...Process ... ");
}

} // namespace

void StoneWorkflows::Label_R_Click(int /*index*/)
{
    if (m_running || m_console.hasEnded())
        return;
    StationState& s = stationState();
    ConsoleModel& m = m_model;
    Running running(*this);
    const ClearIdReadyAtEnd clearIdReady;
    ActivityCaption caption(m_console.status(), kRegistrationActivity, m.Text8->text());
    if (!m_server.CheckServerStatus()) {
        m_operator.showSystemMessage(kNotReachable, kConnectivityIssue);
        return;
    }
    if (s.ModeSelected.isZeroOrEmpty()) {
        m_operator.showSystemMessage(kSelectMode, kSelectModeTitle);
        return;
    }
    if (s.IdReady.isZeroOrEmpty()) {
        m_operator.showSystemMessage(kGenerateIdRegistration, kGenerateIdTitle);
        return;
    }
    if (m.Command18->isEnabled() && m.Command19->isEnabled()) {
        m_console.Timer7->setEnabled(true);
        return;
    }
    journalBegin(QStringLiteral("registration"));
    beginScanChecks();

    try {
        m.Label_R[0]->setColour(kGreen);
        const bool rough = s.ExperimentFile.equalsText(QStringLiteral("ROUGH.XPM"));
        m.Text6->setText(rough ? QStringLiteral("8") : QStringLiteral("6"));
        m.Text1->setText(rough ? QStringLiteral("100") : QStringLiteral("67"));
        s.DataFailed = false;
        s.EscapePressed = false;
        m_server.Login();

        m.setMsg(kPlaceTheStone);
        if (m_operator.AskOperator(kStonePlaced, kPutTheStone) == kNo)
            return;
        if (m.Command18->isEnabled()) {
            const int answer = m_operator.AskOperator(kMoveInside, kMovingInside);
            if (answer == kNo)
                return;
            if (answer == kYes) {
                m_stage.Command18_Click();
                m_operator.TimedWait(3);
                m.setMsg(kStageInside);
            }
        }
        m_operator.LockConsole();
        m_console.loadPicture(m.Register, QStringLiteral("register.jpg"));
        m.Label_R[0]->setColour(kWhite);
        m.Label_R[0]->setEnabled(false);
        m.Register->setEnabled(false);

        const int count = scanCount(m.Text6);
        for (s.MeasurementIndex = 0; s.MeasurementIndex < count; ++s.MeasurementIndex) {
            caption.setScan(s.MeasurementIndex + 1, count);
            for (;;) { // one pass; a failed upload answered Yes runs it again for the same index
                if (rough && s.MeasurementIndex == 4) {
                    m_operator.TimedWait(6);
                    retractAndWait(kArmMoving4);
                    const int answer = m_operator.AskOperator(kTurnedOver, kArmMovingOutside);
                    if (answer == kNo) {
                        endAfterTurnOverRefused();
                        return;
                    }
                    if (answer == kYes)
                        moveInside();
                }
                if (stopRequested()) {
                    registrationAbort(AbortFrom::Unlock);
                    return;
                }
                m.setMsg(kMeasuringNow);
                m_spectro.Command8_Click();
                // The running measurement is let go when Escape is pressed; a close request lets
                // it finish so that its spectrum is saved before the abort.
                if (!m_operator.TimedWait(12, 1000, QString(), {},
                                          [] { return stationState().EscapePressed; })) {
                    registrationAbort(AbortFrom::Unlock);
                    return;
                }
                m_spectro.Command10_Click();
                if (checkSavedScan(true) == AfterCheck::Repeat)
                    continue;
                upload([this] { m_server.UploadRegistrationScan(); });
                if (stopRequested()) {
                    registrationAbort(AbortFrom::Unlock);
                    return;
                }
                if (s.DataFailed.toBool()) {
                    const AfterFailure next = askAfterFailedUpload(kMoveStoneRegistration, kDataFailed);
                    if (next == AfterFailure::Repeat)
                        continue;
                    if (next == AfterFailure::Stop) {
                        m_operator.UnlockConsole();
                        registrationAbort(AbortFrom::Backup);
                        return;
                    }
                }
                break;
            }
            rotate();
            m.setMsg(finishedRegistration(s.MeasurementIndex));
        }

        m.setMsg(kAllCaptured);
        m_operator.UnlockConsole();
        m.setMsg(kStageShouldBeOutside);
        retractAndWait(kArmMoving3);
        s.IdReady = 0;
        backUpThenDelete();
        m.setMsg(kAllDoneFinished);
        m.setMsg(kSubmitting);
        m_server.SubmitMainFiles();
        journalServerResult(QStringLiteral("submission"));
    } catch (const std::exception& e) {
        // A failing step must not end the program: the registration goes through its abort path.
        m_uploadReport = kStepFailed + QString::fromLocal8Bit(e.what());
        m.setMsg1(m_uploadReport);
        registrationAbort(AbortFrom::Unlock);
    }
}

void StoneWorkflows::registrationAbort(AbortFrom from)
{
    journalAbort();
    StationState& s = stationState();
    if (from == AbortFrom::Unlock) {
        m_operator.UnlockConsole();
        retractAndWait(kArmMoving3);
    }
    const QString error = m_uploadReport;
    backUpThenDelete();
    s.IdReady = 0;
    if (s.EscapePressed) {
        m_model.setMsg(kEscapeRegistration);
        return;
    }
    if (m_closeRequested || m_console.hasEnded()) {
        m_model.setMsg(kClosing);
        return;
    }
    m_model.setMsg(error);
    m_operator.AskOperator(error, kErrorMessage);
}

void StoneWorkflows::endAfterTurnOverRefused()
{
    // The stage came out for the turn-over; the spectra taken so far are kept in the backup.
    StationState& s = stationState();
    m_journal.abortRun(QStringLiteral("No"), QStringLiteral("stone not turned over"));
    m_operator.UnlockConsole();
    if (m_model.Command19->isEnabled() && !m_model.Command18->isEnabled())
        retractAndWait(kArmMoving3);
    backUpThenDelete();
    s.IdReady = 0;
    m_model.setMsg(kTurnOverRefused);
}
