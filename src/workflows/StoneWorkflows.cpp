#include "workflows/StoneWorkflows.h"

#include "core/BlockingCall.h"
#include "core/NumberText.h"
#include "core/SpectrometerLink.h"
#include "core/StationState.h"
#include "motion/StageControl.h"
#include "server/ServerClient.h"
#include "spectro/Spectrometer.h"
#include "ui/ClickableLabel.h"
#include "ui/ConsoleStatus.h"
#include "ui/Frmgrading.h"
#include "ui/MsgBox_.h"
#include "ui/PictureBox.h"
#include "ui/TextBox.h"
#include "workflows/StoneIdText.h"
#include "workflows/StoneModes.h"

#include <QPushButton>

#include <array>
#include <exception>

namespace {

constexpr int kYes = 6;
constexpr int kNo = 7;
constexpr int kEnter = 13;

const QColor kWhite(255, 255, 255);
const QColor kGreen(0, 255, 0);

// Mode selection
const QString kMoveInside = QStringLiteral("Move Inside?");
const QString kArmMovingInside = QStringLiteral("Arm Moving Inside");
const QString kStageInside = QStringLiteral("Now Stage should be inside");
const QString kTakingBackground = QStringLiteral("Taking Background...Please wait...");
const QString kBackgroundDone = QStringLiteral("Background Done !!!");
const QString kBackgroundDoneEnd = QStringLiteral("Background Done ..  !!!");
const QString kArmMoving3 = QStringLiteral("Arm Moving ..Please wait ...   ");
const QString kArmMoving4 = QStringLiteral("Arm Moving ..Please wait ....   ");

// Stone ID entry
const QString kTakeBackgroundAgain = QStringLiteral(" Please take background once again !!!");
const QString kDataNotCorrect = QStringLiteral("Data Not correct");
const QString kLookUpFailed = QStringLiteral("Stone ID service not reachable - ");
const QString kNoStoneId = QStringLiteral("No stone ID for barcode ");
const QString kServiceAnswered = QStringLiteral(" - the stone ID service answered: ");

// Start checks
const QString kNotReachable = QStringLiteral("INTERNET oR VELORA Server is not recheable");
const QString kConnectivityIssue = QStringLiteral("Connectivity Issue");
const QString kSelectMode = QStringLiteral("Select Rough or Splits or Polish First");
const QString kSelectModeTitle = QStringLiteral("Select Mode First");
const QString kGenerateIdRegistration =
    QStringLiteral("Enter ID in Scanbar & Press enter and generate Code first");
const QString kGenerateId = QStringLiteral("Enter ID in Scanbar & Press ENTER and generate Code first");
const QString kGenerateIdTitle = QStringLiteral("Generate ID First");

// Registration
const QString kPlaceTheStone = QStringLiteral("Place the Stone......");
const QString kStonePlaced = QStringLiteral("Is the Stone correctly Placed?");
const QString kPutTheStone = QStringLiteral("Put the Stone/Diamond");
const QString kMovingInside = QStringLiteral("Moving Inside");
const QString kTurnedOver = QStringLiteral("Have you moved the stone physically ?");
const QString kArmMovingOutside = QStringLiteral("Arm Moving Outside");
const QString kMeasuringNow = QStringLiteral("Measuring .....Now..");
const QString kMoveStoneRegistration = QStringLiteral("Move Stone Postion Slightly !!!! Continue ?");
const QString kDataFailed = QStringLiteral("Data Failed");
const QString kAllCaptured = QStringLiteral("All Data Captured and Uploaded...");
const QString kStageShouldBeOutside = QStringLiteral("Stage should be outside .. Please check !!! ");
const QString kAllDoneFinished = QStringLiteral("All Done....Finished !!!");
const QString kSubmitting = QStringLiteral("Submitting Main Files !!!");
const QString kEscapeRegistration = QStringLiteral("You Pressed Escape...Abrupted Registration!!!");
const QString kErrorMessage = QStringLiteral("Error Message");
const QString kTurnOverRefused =
    QStringLiteral("Registration Stopped...Stone not turned over - nothing submitted !!!");

// Query
const QString kStartingQuery = QStringLiteral("Starting QUERY..");
const QString kStonePlacedQuery = QStringLiteral("Have you Placed the stone ?");
const QString kPlaceTheStoneTitle = QStringLiteral("Place the Stone");
const QString kMeasuringNowQuery = QStringLiteral("Measuring Now .. Please wait !!! ");
const QString kDataFailedQuery = QStringLiteral("Data Failed !!!. Continue ?");
const QString kMoveStoneQueryTitle = QStringLiteral("Move Stone Postion Slightly !");
const QString kGeneratingQuery = QStringLiteral("Generating Query !!!");
const QString kAllDoneQuery = QStringLiteral("All Done  - QUERY_ID =  ");
const QString kEscapeQuery = QStringLiteral("You Pressed Escape...Abrupted Query!!!");
const QString kNotPublished = QStringLiteral("Query NOT published - ");

// Offline runs
const QString kStartingOfflineQuery = QStringLiteral("Starting OffLine QUERY..");
const QString kStartingOfflineRegistration = QStringLiteral("Starting OffLine Registration..");
const QString kMoveStoneOffline = QStringLiteral("Move Stone Postion Slightly !!! Continue ?");
const QString kGeneratingRegistration = QStringLiteral("Generating Registration !!!");
const QString kAllDoneRegistration = QStringLiteral("All Done  - Registration Done =  ");
const QString kNotSubmitted = QStringLiteral("Registration NOT submitted - failed uploads: ");
const QString kSubmitFailed = QStringLiteral("Registration NOT submitted - ");

// Closing the window in the middle of a sequence
const QString kCloseQuestion =
    QStringLiteral("A measurement is running. Stop it safely and close the program ?");
const QString kCloseTitle = QStringLiteral("Close Program");
const QString kClosing = QStringLiteral("Stopped for closing the program...Stage outside, data backed up");

const QString kBackupFailedTitle = QStringLiteral("Backup Failed");
const QString kBackupFailed = QStringLiteral("Backup failed - these files stay in the data folder: ");
const QString kStepFailed = QStringLiteral("Error: ");
const QString kNoSpectrumFile = QStringLiteral("Error: No spectrum file ");
const QString kNoSpectrumFileIn = QStringLiteral(" in ");
const QString kNoLink = QStringLiteral(" - no link to the spectrometer software: ");

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colour);
    widget->setPalette(p);
}

QString finishedRegistration(int index)
{
    return QStringLiteral("Finished ...") + QString::number(index + 1) + QStringLiteral("...Process ... ");
}

QString finishedQuery(int index)
{
    return QStringLiteral("Finished .....") + QString::number(index + 1) + QStringLiteral("...Process ");
}

// Activities as the window title names them while they run.
const QString kBackgroundActivity = QStringLiteral("Background");
const QString kRegistrationActivity = QStringLiteral("Registration");
const QString kQueryActivity = QStringLiteral("Query");
const QString kOfflineRegistrationActivity = QStringLiteral("Offline registration");
const QString kOfflineQueryActivity = QStringLiteral("Offline query");

// The scans-per-stone box read as the loop bound: its number, rounded half to even.
int scanCount(const TextBox* box)
{
    const double n = NumberText::roundHalfEven(NumberText::parseLeading(box->text()));
    if (!(n > 0))
        return 0;
    return n > 10 ? 11 : static_cast<int>(n);
}

// Every stone gets its own lot code: however a sequence ends, refused or before any scan too, the
// next one needs a new stone ID entry.
struct ClearIdReadyAtEnd
{
    ClearIdReadyAtEnd() = default;
    ClearIdReadyAtEnd(const ClearIdReadyAtEnd&) = delete;
    ClearIdReadyAtEnd& operator=(const ClearIdReadyAtEnd&) = delete;
    ~ClearIdReadyAtEnd() { stationState().IdReady = 0; }
};

} // namespace

// Marks one sequence as running; when it ends, a close the operator asked for meanwhile goes ahead.
class StoneWorkflows::Running
{
public:
    explicit Running(StoneWorkflows& owner)
        : m_owner(owner)
    {
        m_owner.m_running = true;
        emit m_owner.busyChanged(true);
    }
    ~Running()
    {
        m_owner.m_journal.endRun(QStringLiteral("No"));
        m_owner.m_running = false;
        emit m_owner.busyChanged(false);
        m_owner.closeIfRequested();
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

private:
    StoneWorkflows& m_owner;
};

StoneWorkflows::StoneWorkflows(Frmgrading& w, StageControl& stage, Spectrometer& spectro,
                               ServerClient& server, Journal& journal)
    : m_w(w)
    , m_stage(stage)
    , m_spectro(spectro)
    , m_server(server)
    , m_journal(journal)
{
    connect(w.Rough1, &PictureBox::clicked, this, &StoneWorkflows::Rough1_Click);
    connect(w.Polish1, &PictureBox::clicked, this, &StoneWorkflows::Polish1_Click);
    connect(w.Splits1, &PictureBox::clicked, this, &StoneWorkflows::Splits1_Click);
    connect(w.Polish2, &PictureBox::clicked, this, &StoneWorkflows::Polish2_Click);
    connect(w.Polish3, &PictureBox::clicked, this, &StoneWorkflows::Polish3_Click);
    connect(w.Polish4, &PictureBox::clicked, this, &StoneWorkflows::Polish4_Click);
    for (int i = 0; i < StoneModes::kCount; ++i)
        connect(w.Label14[static_cast<size_t>(i)], &ClickableLabel::clicked, this,
                [this, i] { Label14_Click(i); });
    connect(w.Label_R[0], &ClickableLabel::clicked, this, [this] { Label_R_Click(0); });
    connect(w.Label_Q[0], &ClickableLabel::clicked, this, [this] { Label_Q_Click(0); });
    connect(w.Text8, &TextBox::enterPressed, this, [this] { Text8_KeyPress(kEnter); });
    connect(w.Query_1, &QPushButton::clicked, this, &StoneWorkflows::RunOfflineQuery);
    connect(w.Register_1, &QPushButton::clicked, this, &StoneWorkflows::RunOfflineRegistration);

    w.hooks().Label_R_Click = [this] { Label_R_Click(0); };
    w.hooks().Label_Q_Click = [this] { Label_Q_Click(0); };
    w.hooks().confirmUnload = [this] { return confirmUnload(); };
}

// ---- stone-mode selection

void StoneWorkflows::Rough1_Click()
{
    if (m_running)
        return;
    m_w.Frame4->hide();
    m_w.Image2[1]->setEnabled(false);
    m_w.Image1->setEnabled(false);
    Label14_Click(0);
    m_w.Image2[0]->setEnabled(true);
    m_w.Image2[1]->setEnabled(true);
    m_w.Image1->setEnabled(true);
}

void StoneWorkflows::Label14_Click(int index)
{
    // A selection started while another sequence waits would share its stage and its files.
    if (m_running || index < 0 || index >= StoneModes::kCount || m_w.hasEnded())
        return;
    StationState& s = stationState();
    m_w.Frame4->hide();
    if (m_w.Command18->isEnabled() && m_w.Command19->isEnabled()) {
        m_w.Timer7->setEnabled(true);
        return;
    }
    Running running(*this);
    ActivityCaption caption(m_w.status(), kBackgroundActivity, QString());
    if (m_w.Command18->isEnabled()) {
        const int answer = m_w.AskOperator(kMoveInside, kArmMovingInside);
        if (answer == kNo)
            return;
        if (answer == kYes) {
            m_stage.Command18_Click();
            m_w.TimedWait(3);
            m_w.setMsg(kStageInside);
        }
    }
    m_w.Text8->hide();
    m_w.Image7->hide();
    m_w.LockConsole();
    m_w.setMsg(kTakingBackground);

    s.ModeSelected = 1;
    s.IdReady = 0;
    s.ModeIndex = index;

    for (ClickableLabel* label : m_w.Label14)
        setTextColour(label, kWhite);
    setTextColour(m_w.Label14[static_cast<size_t>(index)], kGreen);

    const std::array<PictureBox*, StoneModes::kCount> pictures{m_w.Rough1,  m_w.Polish1, m_w.Splits1,
                                                               m_w.Polish2, m_w.Polish3, m_w.Polish4};
    const bool registration = s.RegisterActivity.equals(1);
    const std::optional<StoneMode> mode =
        registration ? StoneModes::forRegistration(index) : StoneModes::forQuery(index);
    PictureBox* picture = pictures[static_cast<size_t>(index)];
    // A missing picture file keeps the picture the control had.
    if (mode)
        m_w.loadPicture(picture, mode->picture);
    for (PictureBox* p : pictures)
        p->hide();
    picture->show();
    if (mode) {
        s.ExperimentFile = mode->experimentFile;
        s.FileSuffix = mode->fileSuffix;
        s.StageName = mode->stageName;
    }

    m_w.LockConsole();
    m_w.Label_R[0]->setEnabled(false);
    m_w.Label_Q[0]->setEnabled(false);
    m_w.Query_1->setEnabled(false);

    m_spectro.BuildMeasureSampleCommand();
    m_spectro.Command5_Click();
    m_w.TimedWait(13);

    m_w.setMsg(kBackgroundDone);
    m_stage.Command19_Click();
    m_w.TimedWait(6, 1000, kArmMoving3);
    m_w.setMsg(kBackgroundDoneEnd);
    m_w.UnlockConsole();

    s.BackgroundDone = true;
    m_w.Text8->show();
    m_w.Text8->setFocus();

    m_w.Timer8->setEnabled(false);
    s.BackgroundAgeMinutes = 0;
    m_w.Timer8->setEnabled(true);

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
    if (m_running || m_w.hasEnded())
        return;
    StationState& s = stationState();
    if (!s.BackgroundDone) {
        m_w.setMsg1(kTakeBackgroundAgain);
        MsgBox_::instance().ShowMessage(kTakeBackgroundAgain, 4, kDataNotCorrect);
        return;
    }
    // A new scan is a new stone: nothing may run under the previous one's lot code.
    s.IdReady = 0;
    if (s.CompanyCode == QLatin1String("ozb")) {
        // Without the customer's identifier no lot code may be asked for this stone; the scan stays
        // in the box for another try.
        const QString barcode = m_w.Text8->text();
        switch (m_server.LookUpStoneId()) {
        case ServerClient::StoneIdAnswer::Found:
            break;
        case ServerClient::StoneIdAnswer::Unreachable:
            m_w.setMsg(kLookUpFailed + m_server.lastError());
            return;
        case ServerClient::StoneIdAnswer::NoStoneId:
            m_w.setMsg(kNoStoneId + barcode + kServiceAnswered + m_server.lastError());
            return;
        }
    }
    m_w.Text8->setText(ReshapeStoneId(m_w.Text8->text()));
    m_server.Login();
    // Its failure stays in Msg; the stone is not measured under another stone's code.
    if (!m_server.GenerateLotCode())
        return;
    m_spectro.BuildMeasureSampleCommand();
    m_w.Image7->show();
    m_w.Image7_Click();
}

QString StoneWorkflows::publish()
{
    stationState().QueryId.clear();
    if (m_server.PublishTransactionIds())
        return QString();
    // A refused publication's report names the server's status; a transport failure is the last
    // text the publication wrote.
    const QString report = m_server.lastReport();
    return report.isEmpty() ? m_w.msgText() : report;
}

QString StoneWorkflows::ReshapeStoneId(const QString& text)
{
    return StoneIdText::reshape(text);
}

// ---- shared steps

bool StoneWorkflows::stopRequested() const
{
    return stationState().EscapePressed || m_closeRequested || m_w.hasEnded();
}

void StoneWorkflows::moveInside()
{
    m_stage.Command18_Click();
    m_w.TimedWait(2, 2000);
}

void StoneWorkflows::retractAndWait(const QString& text)
{
    m_stage.Command19_Click();
    m_w.TimedWait(6, 1000, text);
}

StoneWorkflows::AfterFailure StoneWorkflows::askAfterFailedUpload(const QString& question, const QString& title)
{
    // The stone comes out; the operator shifts it and repeats the scan, or stops.
    StationState& s = stationState();
    m_w.TimedWait(6);
    retractAndWait(kArmMoving4);
    const int answer = m_w.AskOperator(question, title);
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
    m_w.TimedWait(3);
    m_stage.writeCommand(QStringLiteral("XF") + StageControl::countOf(m_w.Text1));
    m_w.TimedWait(2);
}

void StoneWorkflows::upload(const std::function<void()>& operation)
{
    // The upload's own final report, not what Msg1 shows now: the link's replies that arrive while
    // its dialog is open overwrite Msg1 after it.
    operation();
    journalScan();
    QString report = m_server.lastReport();
    const StationState& s = stationState();
    if (report.isEmpty() && s.DataFailed.toBool()) {
        // The upload found no spectrum file and says nothing; Msg1 still holds the software's last
        // reply, often "OK". The operator must learn that this scan was not saved, and why if the
        // link is gone.
        report = kNoSpectrumFile + s.SpectrumFileName + kNoSpectrumFileIn + s.DataFolder.toText();
        const SpectrometerLink* link = m_w.link();
        if (!link || !link->isConnected())
            report += kNoLink + m_spectro.lastSendError();
        m_w.setMsg1(report);
    }
    m_uploadReport = report.isEmpty() ? m_w.msg1Text() : report;
}

void StoneWorkflows::backUpThenDelete()
{
    const BackupReport report = m_spectro.backUpThenDeleteDataFiles();
    journalBackup(report);
    if (!report.keptFiles.isEmpty() && !m_w.hasEnded())
        m_w.showSystemMessage(kBackupFailed + report.keptFiles.join(QStringLiteral(", ")), kBackupFailedTitle,
                              QMessageBox::Warning);
}

// ---- registration

void StoneWorkflows::Label_R_Click(int /*index*/)
{
    if (m_running || m_w.hasEnded())
        return;
    StationState& s = stationState();
    Running running(*this);
    const ClearIdReadyAtEnd clearIdReady;
    ActivityCaption caption(m_w.status(), kRegistrationActivity, m_w.Text8->text());
    if (!m_server.CheckServerStatus()) {
        m_w.showSystemMessage(kNotReachable, kConnectivityIssue);
        return;
    }
    if (s.ModeSelected.isZeroOrEmpty()) {
        m_w.showSystemMessage(kSelectMode, kSelectModeTitle);
        return;
    }
    if (s.IdReady.isZeroOrEmpty()) {
        m_w.showSystemMessage(kGenerateIdRegistration, kGenerateIdTitle);
        return;
    }
    if (m_w.Command18->isEnabled() && m_w.Command19->isEnabled()) {
        m_w.Timer7->setEnabled(true);
        return;
    }
    journalBegin(QStringLiteral("registration"));

    try {
        setTextColour(m_w.Label_R[0], kGreen);
        const bool rough = s.ExperimentFile.equalsText(QStringLiteral("ROUGH.XPM"));
        m_w.Text6->setText(rough ? QStringLiteral("8") : QStringLiteral("6"));
        m_w.Text1->setText(rough ? QStringLiteral("100") : QStringLiteral("67"));
        s.DataFailed = false;
        s.EscapePressed = false;
        m_server.Login();

        m_w.setMsg(kPlaceTheStone);
        if (m_w.AskOperator(kStonePlaced, kPutTheStone) == kNo)
            return;
        if (m_w.Command18->isEnabled()) {
            const int answer = m_w.AskOperator(kMoveInside, kMovingInside);
            if (answer == kNo)
                return;
            if (answer == kYes) {
                m_stage.Command18_Click();
                m_w.TimedWait(3);
                m_w.setMsg(kStageInside);
            }
        }
        m_w.LockConsole();
        m_w.loadPicture(m_w.Register, QStringLiteral("register.jpg"));
        setTextColour(m_w.Label_R[0], kWhite);
        m_w.Label_R[0]->setEnabled(false);
        m_w.Register->setEnabled(false);

        const int count = scanCount(m_w.Text6);
        for (s.MeasurementIndex = 0; s.MeasurementIndex < count; ++s.MeasurementIndex) {
            caption.setScan(s.MeasurementIndex + 1, count);
            for (;;) { // one pass; a failed upload answered Yes runs it again for the same index
                if (rough && s.MeasurementIndex == 4) {
                    m_w.TimedWait(6);
                    retractAndWait(kArmMoving4);
                    const int answer = m_w.AskOperator(kTurnedOver, kArmMovingOutside);
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
                m_w.setMsg(kMeasuringNow);
                m_spectro.Command8_Click();
                // The running measurement is let go when Escape is pressed; a close request lets
                // it finish so that its spectrum is saved before the abort.
                if (!m_w.TimedWait(12, 1000, QString(), {}, [] { return stationState().EscapePressed; })) {
                    registrationAbort(AbortFrom::Unlock);
                    return;
                }
                m_spectro.Command10_Click();
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
                        m_w.UnlockConsole();
                        registrationAbort(AbortFrom::Backup);
                        return;
                    }
                }
                break;
            }
            rotate();
            m_w.setMsg(finishedRegistration(s.MeasurementIndex));
        }

        m_w.setMsg(kAllCaptured);
        m_w.UnlockConsole();
        m_w.setMsg(kStageShouldBeOutside);
        retractAndWait(kArmMoving3);
        s.IdReady = 0;
        backUpThenDelete();
        m_w.setMsg(kAllDoneFinished);
        m_w.setMsg(kSubmitting);
        m_server.SubmitMainFiles();
        journalServerResult(QStringLiteral("submission"));
    } catch (const std::exception& e) {
        // A failing step must not end the program: the registration goes through its abort path.
        m_uploadReport = kStepFailed + QString::fromLocal8Bit(e.what());
        m_w.setMsg1(m_uploadReport);
        registrationAbort(AbortFrom::Unlock);
    }
}

void StoneWorkflows::registrationAbort(AbortFrom from)
{
    journalAbort();
    StationState& s = stationState();
    if (from == AbortFrom::Unlock) {
        m_w.UnlockConsole();
        retractAndWait(kArmMoving3);
    }
    const QString error = m_uploadReport;
    backUpThenDelete();
    s.IdReady = 0;
    if (s.EscapePressed) {
        m_w.setMsg(kEscapeRegistration);
        return;
    }
    if (m_closeRequested || m_w.hasEnded()) {
        m_w.setMsg(kClosing);
        return;
    }
    m_w.setMsg(error);
    m_w.AskOperator(error, kErrorMessage);
}

void StoneWorkflows::endAfterTurnOverRefused()
{
    // The stage came out for the turn-over; the spectra taken so far are kept in the backup.
    StationState& s = stationState();
    m_journal.abortRun(QStringLiteral("No"), QStringLiteral("stone not turned over"));
    m_w.UnlockConsole();
    if (m_w.Command19->isEnabled() && !m_w.Command18->isEnabled())
        retractAndWait(kArmMoving3);
    backUpThenDelete();
    s.IdReady = 0;
    m_w.setMsg(kTurnOverRefused);
}

// ---- query

void StoneWorkflows::Label_Q_Click(int /*index*/)
{
    if (m_running || m_w.hasEnded())
        return;
    StationState& s = stationState();
    Running running(*this);
    const ClearIdReadyAtEnd clearIdReady;
    ActivityCaption caption(m_w.status(), kQueryActivity, m_w.Text8->text());
    if (!m_server.CheckServerStatus()) {
        m_w.showSystemMessage(kNotReachable, kConnectivityIssue);
        return;
    }
    if (s.IdReady.isZeroOrEmpty()) {
        m_w.showSystemMessage(kGenerateId, kGenerateIdTitle);
        return;
    }

    journalBegin(QStringLiteral("query"));
    bool locked = false;
    try {
        m_w.Text6->setText(QStringLiteral("6"));
        m_w.Text1->setText(QStringLiteral("67"));
        s.DataFailed = false;
        s.EscapePressed = false;
        m_w.setMsg(kStartingQuery);
        m_server.Login();
        m_w.setMsg(kPlaceTheStone);
        if (m_w.AskOperator(kStonePlacedQuery, kPlaceTheStoneTitle) == kNo)
            return;
        if (m_w.Command18->isEnabled()) {
            const int answer = m_w.AskOperator(kMoveInside, kArmMovingInside);
            if (answer == kNo)
                return;
            if (answer == kYes) {
                m_stage.Command18_Click();
                m_w.setMsg(kMeasuringNowQuery);
                m_w.TimedWait(3);
            }
        }
        m_w.LockConsole();
        locked = true;
        m_w.loadPicture(m_w.Query, QStringLiteral("Query.jpg"));
        setTextColour(m_w.Label_Q[0], kWhite);
        m_w.Label_Q[0]->setEnabled(false);
        m_w.Query_1->setEnabled(false);

        const int count = scanCount(m_w.Text6);
        for (s.MeasurementIndex = 0; s.MeasurementIndex < count; ++s.MeasurementIndex) {
            caption.setScan(s.MeasurementIndex + 1, count);
            for (;;) {
                if (stopRequested()) {
                    queryAbort();
                    return;
                }
                m_spectro.Command8_Click();
                m_w.TimedWait(12);
                m_spectro.Command10_Click();
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
            m_w.setMsg(finishedQuery(s.MeasurementIndex));
        }

        m_w.setMsg(kAllCaptured);
        m_w.UnlockConsole();
        retractAndWait(kArmMoving3);
        m_w.setMsg(kGeneratingQuery);
        const QString failure = publish();
        journalServerResult(QStringLiteral("publication"));
        s.IdReady = 0;
        backUpThenDelete();
        m_w.setMsg(failure.isEmpty() ? kAllDoneQuery + s.QueryId : kNotPublished + failure);
    } catch (const std::exception& e) {
        // Before the console is locked nothing has been measured: the query just ends.
        m_uploadReport = kStepFailed + QString::fromLocal8Bit(e.what());
        m_w.setMsg1(m_uploadReport);
        if (locked)
            queryAbort();
        else
            m_w.setMsg(m_uploadReport);
    }
}

void StoneWorkflows::queryAbort()
{
    journalAbort();
    StationState& s = stationState();
    s.IdReady = 0;
    m_w.UnlockConsole();
    // After No to the failed-upload question the stage is already outside.
    if (m_w.Command19->isEnabled() && !m_w.Command18->isEnabled())
        retractAndWait(kArmMoving3);
    const QString error = m_uploadReport;
    backUpThenDelete();
    if (s.EscapePressed) {
        m_w.setMsg(kEscapeQuery);
        return;
    }
    if (m_closeRequested || m_w.hasEnded()) {
        m_w.setMsg(kClosing);
        return;
    }
    m_w.setMsg(error);
    m_w.AskOperator(error, kErrorMessage);
}

// ---- offline runs

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
    if (m_running || m_w.hasEnded())
        return;
    StationState& s = stationState();
    Running running(*this);
    ActivityCaption caption(m_w.status(),
                            query ? kOfflineQueryActivity : kOfflineRegistrationActivity, m_w.Text8->text());
    if (!m_server.CheckServerStatus()) {
        m_w.showSystemMessage(kNotReachable, kConnectivityIssue);
        return;
    }
    if (s.IdReady.isZeroOrEmpty()) {
        m_w.showSystemMessage(kGenerateId, kGenerateIdTitle);
        return;
    }
    journalBegin(query ? QStringLiteral("offline query") : QStringLiteral("offline registration"));
    m_w.Text6->setText(QStringLiteral("6"));
    m_w.Text1->setText(QStringLiteral("67"));
    const bool command18 = m_w.Command18->isEnabled();
    const bool command19 = m_w.Command19->isEnabled();
    auto restoreStage = [&] {
        m_w.Command18->setEnabled(command18);
        m_w.Command19->setEnabled(command19);
    };
    s.DataFailed = false;
    s.EscapePressed = false;
    m_w.setMsg(query ? kStartingOfflineQuery : kStartingOfflineRegistration);
    m_server.Login();
    m_w.LockConsole();
    m_w.Label_R[0]->setEnabled(false);
    m_w.Label_Q[0]->setEnabled(false);
    m_w.Query_1->setEnabled(false);

    auto breakOff = [&] {
        journalAbort();
        s.IdReady = 0;
        m_w.UnlockConsole();
        restoreStage();
        const QString error = m_uploadReport;
        backUpThenDelete();
        if (s.EscapePressed) {
            m_w.setMsg(kEscapeQuery);
        } else if (m_closeRequested || m_w.hasEnded()) {
            m_w.setMsg(kClosing);
        } else {
            m_w.setMsg(error);
            m_w.AskOperator(error, kErrorMessage);
        }
    };

    QStringList failedUploads;
    const int count = scanCount(m_w.Text6);
    for (s.MeasurementIndex = 0; s.MeasurementIndex < count; ++s.MeasurementIndex) {
        caption.setScan(s.MeasurementIndex + 1, count);
        for (;;) {
            if (stopRequested()) {
                breakOff();
                return;
            }
            m_spectro.Command100_Click();
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
        m_w.TimedWait(1);
        m_w.setMsg(finishedQuery(s.MeasurementIndex));
    }

    m_w.setMsg(kAllCaptured);
    m_w.UnlockConsole();
    restoreStage();
    QString failure;
    if (query) {
        m_w.setMsg(kGeneratingQuery);
        failure = publish();
    } else {
        m_w.setMsg(kGeneratingRegistration);
        // Registering offline files the stone like the measured registration does, but only
        // when every scan reached the server: a partial set would become the stone's reference.
        if (failedUploads.isEmpty() && !m_server.SubmitMainFiles())
            failure = m_w.msgText();
    }
    journalServerResult(query ? QStringLiteral("publication") : QStringLiteral("submission"), failedUploads);
    s.IdReady = 0;
    backUpThenDelete();
    if (query)
        m_w.setMsg(failure.isEmpty() ? kAllDoneQuery + s.QueryId : kNotPublished + failure);
    else if (!failure.isEmpty())
        m_w.setMsg(kSubmitFailed + failure);
    else if (failedUploads.isEmpty())
        m_w.setMsg(kAllDoneRegistration);
    else
        m_w.setMsg(kNotSubmitted + failedUploads.join(QLatin1Char(',')));
}

// ---- closing the window

bool StoneWorkflows::confirmUnload()
{
    if (!m_running)
        return true;
    // The dialog is busy with the sequence's own question: that one is answered first.
    if (m_closeRequested || MsgBox_::instance().isAsking())
        return false;
    if (m_w.AskOperator(kCloseQuestion, kCloseTitle) == kYes)
        m_closeRequested = true;
    return false;
}

void StoneWorkflows::closeIfRequested()
{
    if (!m_closeRequested)
        return;
    m_closeRequested = false;
    if (m_w.hasEnded())
        return;
    // After the handler that ran the sequence has returned, so the window unloads from the top.
    Frmgrading* w = &m_w;
    BlockingCall::whenFree(w, [w] { w->close(); });
}
