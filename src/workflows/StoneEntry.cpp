#include "workflows/StoneWorkflowsShared.h"

#include "core/ConsoleModel.h"
#include "core/ConsoleStatus.h"
#include "core/StationConsole.h"
#include "motion/StageControl.h"
#include "server/ServerClient.h"
#include "spectro/Spectrometer.h"
#include "workflows/StoneIdText.h"
#include "workflows/StoneModes.h"

#include <array>

using namespace StoneShared;

namespace {

// Mode selection
const QString kTakingBackground = QStringLiteral("Taking Background...Please wait...");
const QString kBackgroundDone = QStringLiteral("Background Done !!!");
const QString kBackgroundDoneEnd = QStringLiteral("Background Done ..  !!!");

// Stone ID entry
const QString kTakeBackgroundAgain = QStringLiteral(" Please take background once again !!!");
const QString kDataNotCorrect = QStringLiteral("Data Not correct");
const QString kLookUpFailed = QStringLiteral("Stone ID service not reachable - ");
const QString kNoStoneId = QStringLiteral("No stone ID for barcode ");
const QString kServiceAnswered = QStringLiteral(" - the stone ID service answered: ");

// The activity as the window title names it while it runs.
const QString kBackgroundActivity = QStringLiteral("Background");

} // namespace

// ---- stone-mode selection

void StoneWorkflows::Rough1_Click()
{
    if (m_running)
        return;
    m_model.Frame4->hide();
    m_model.Image2[1]->setEnabled(false);
    m_model.Image1->setEnabled(false);
    Label14_Click(0);
    m_model.Image2[0]->setEnabled(true);
    m_model.Image2[1]->setEnabled(true);
    m_model.Image1->setEnabled(true);
}

void StoneWorkflows::Label14_Click(int index)
{
    // A selection started while another sequence waits would share its stage and its files.
    if (m_running || index < 0 || index >= StoneModes::kCount || m_console.hasEnded())
        return;
    StationState& s = stationState();
    ConsoleModel& m = m_model;
    m.Frame4->hide();
    if (m.Command18->isEnabled() && m.Command19->isEnabled()) {
        m_console.Timer7->setEnabled(true);
        return;
    }
    Running running(*this);
    ActivityCaption caption(m_console.status(), kBackgroundActivity, QString());
    if (m.Command18->isEnabled()) {
        const int answer = m_operator.AskOperator(kMoveInside, kArmMovingInside);
        if (answer == kNo)
            return;
        if (answer == kYes) {
            m_stage.Command18_Click();
            m_operator.TimedWait(3);
            m.setMsg(kStageInside);
        }
    }
    m.Text8->hide();
    m.Image7->hide();
    m_operator.LockConsole();
    m.setMsg(kTakingBackground);

    s.ModeSelected = 1;
    s.IdReady = 0;
    s.ModeIndex = index;

    for (ConsoleControl* label : m.Label14)
        label->setColour(kWhite);
    m.Label14[static_cast<size_t>(index)]->setColour(kGreen);

    const std::array<ConsoleControl*, StoneModes::kCount> pictures{m.Rough1,  m.Polish1, m.Splits1,
                                                                   m.Polish2, m.Polish3, m.Polish4};
    const bool registration = s.RegisterActivity.equals(1);
    const std::optional<StoneMode> mode =
        registration ? StoneModes::forRegistration(index) : StoneModes::forQuery(index);
    ConsoleControl* picture = pictures[static_cast<size_t>(index)];
    // A missing picture file keeps the picture the control had.
    if (mode)
        m_console.loadPicture(picture, mode->picture);
    for (ConsoleControl* p : pictures)
        p->hide();
    picture->show();
    if (mode) {
        s.ExperimentFile = mode->experimentFile;
        s.FileSuffix = mode->fileSuffix;
        s.StageName = mode->stageName;
    }

    m_operator.LockConsole();
    m.Label_R[0]->setEnabled(false);
    m.Label_Q[0]->setEnabled(false);
    m.Query_1->setEnabled(false);

    m_spectro.BuildMeasureSampleCommand();
    m_spectro.Command5_Click();
    m_operator.TimedWait(13);

    m.setMsg(kBackgroundDone);
    m_stage.Command19_Click();
    m_operator.TimedWait(6, 1000, kArmMoving3);
    m.setMsg(kBackgroundDoneEnd);
    m_operator.UnlockConsole();

    s.BackgroundDone = true;
    m.Text8->show();
    m.Text8->setFocus();

    m_console.Timer8->setEnabled(false);
    s.BackgroundAgeMinutes = 0;
    m_console.Timer8->setEnabled(true);

    m_server.SendMachineStatus();
}

// ---- stone ID entry

void StoneWorkflows::Text8_KeyPress(int key)
{
    if (key == kEnter)
        acceptStoneId();
}

void StoneWorkflows::acceptStoneId()
{
    // Enter during a sequence's closing wait must not log in anew or start a nested sequence.
    if (m_running || m_console.hasEnded())
        return;
    StationState& s = stationState();
    if (!s.BackgroundDone) {
        m_model.setMsg1(kTakeBackgroundAgain);
        // The one question not placed over the console: it opens where the dialog was last shown.
        m_operator.ShowMessage(kTakeBackgroundAgain, kDataNotCorrect);
        return;
    }
    // A new scan is a new stone: nothing may run under the previous one's lot code.
    s.IdReady = 0;
    const QString scanned = m_model.Text8->text();
    m_scannedStone = {};
    if (s.CompanyCode == QLatin1String("ozb")) {
        // Without the customer's identifier no lot code may be asked for this stone; the scan stays
        // in the box for another try.
        switch (m_server.LookUpStoneId()) {
        case ServerClient::StoneIdAnswer::Found:
            break;
        case ServerClient::StoneIdAnswer::Unreachable:
            m_model.setMsg(kLookUpFailed + m_server.lastError());
            return;
        case ServerClient::StoneIdAnswer::NoStoneId:
            m_model.setMsg(kNoStoneId + scanned + kServiceAnswered + m_server.lastError());
            return;
        }
    }
    m_model.Text8->setText(ReshapeStoneId(m_model.Text8->text()));
    m_scannedStone = {scanned, m_model.Text8->text()};
    m_server.Login();
    // Its failure stays in Msg; the stone is not measured under another stone's code.
    if (!m_server.GenerateLotCode())
        return;
    m_spectro.BuildMeasureSampleCommand();
    m_model.Image7->show();
    m_console.Image7_Click();
}

QString StoneWorkflows::ReshapeStoneId(const QString& text)
{
    return StoneIdText::reshape(text);
}
