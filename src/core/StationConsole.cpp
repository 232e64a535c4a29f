#include "core/StationConsole.h"

#include "core/ConsoleModel.h"
#include "core/ConsoleStatus.h"
#include "core/NumberText.h"
#include "core/Operator.h"
#include "core/SerialLine.h"
#include "core/SpectrometerLink.h"
#include "core/StationState.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cmath>

namespace {

const QString ControllerErrorText = QStringLiteral(
    "USB Controller Comport Error \r\nPlease check Com Port or USB Cables and Restart the Program !!!");
const QString ControllerErrorTitle = QStringLiteral("Controller ERROR");
const QString CloseOpusCommand = QStringLiteral("CLOSE_OPUS");
const QString ClosingErrorText = QStringLiteral("ERROR CLOSING or PROGRAM ALREADY CLOSED !!!");
const QString ProgramTitle = QStringLiteral("VELORA");

StoredValue single(double value)
{
    return StoredValue(static_cast<double>(static_cast<float>(value)));
}

} // namespace

StationConsole::StationConsole(StationEnvironment environment, ConsoleModel& model, QObject* parent)
    : QObject(parent)
    , m_env(std::move(environment))
    , m_model(model)
    , m_clock(m_env.timeScale)
{
    if (m_env.makeSpectrometerLink)
        m_link = m_env.makeSpectrometerLink();

    MSComm1 = makeSerialLine(this).release();
    MSComm1->setObjectName(QStringLiteral("MSComm1"));

    // Timers are created quiet; Form_Load gives them their design states.
    Timer1 = new StationTimer(m_clock, 50000, false, this);
    Timer2 = new StationTimer(m_clock, 5000, false, this);
    Timer3 = new StationTimer(m_clock, 60000, false, this);
    Timer4 = new StationTimer(m_clock, 1000, false, this);
    Timer5 = new StationTimer(m_clock, 10000, false, this);
    Timer7 = new StationTimer(m_clock, 1000, false, this);
    Timer8 = new StationTimer(m_clock, 0, false, this);
    const std::pair<StationTimer*, const char*> timerNames[] = {
        {Timer1, "Timer1"}, {Timer2, "Timer2"}, {Timer3, "Timer3"}, {Timer4, "Timer4"},
        {Timer5, "Timer5"}, {Timer7, "Timer7"}, {Timer8, "Timer8"}};
    for (const auto& [timer, name] : timerNames)
        timer->setObjectName(QLatin1String(name));
    connect(Timer1, &StationTimer::timeout, this, &StationConsole::CheckControllerPort);
    connect(Timer3, &StationTimer::timeout, this, &StationConsole::Timer3_Timer);
    connect(Timer4, &StationTimer::timeout, this, &StationConsole::Timer4_Timer);
    connect(Timer8, &StationTimer::timeout, this, &StationConsole::Timer8_Timer);

    m_status = new ConsoleStatus(model, this);

    // Design pictures of the controls that keep theirs
    loadPicture(model.Register, QStringLiteral("register.jpg"));
    loadPicture(model.Query, QStringLiteral("Query.jpg"));
    loadPicture(model.Image2[0], QStringLiteral("Close.jpg"));
    loadPicture(model.Image2[1], QStringLiteral("Settings.jpg"));
    loadPicture(model.Image10, QStringLiteral("Station.jpg"));
    loadPicture(model.Image7, QStringLiteral("Start.jpg"));
    loadPicture(model.Image6, QStringLiteral("Banner.jpg"));
    loadPicture(model.Image4, QStringLiteral("Strip.jpg"));
    loadPicture(model.Image8, QStringLiteral("MoveIn.jpg"));
    loadPicture(model.Image5, QStringLiteral("MoveOut.jpg"));
    loadPicture(model.Image9, QStringLiteral("Init.jpg"));
    loadPicture(model.Image3, QStringLiteral("Opus.jpg"));

    connect(model.Register, &ConsoleControl::clicked, this, &StationConsole::Register_Click);
    connect(model.Query, &ConsoleControl::clicked, this, &StationConsole::Query_Click);
    connect(model.Image7, &ConsoleControl::clicked, this, &StationConsole::Image7_Click);
    connect(model.Label11, &ConsoleControl::clicked, this, &StationConsole::Label11_Click);
    connect(model.Label9, &ConsoleControl::clicked, this, &StationConsole::Label9_Click);
    connect(model.Image3, &ConsoleControl::clicked, this, &StationConsole::Image3_Click);
    connect(model.Image1, &ConsoleControl::clicked, this, [this] {
        if (m_hooks.Image1_Click)
            m_hooks.Image1_Click();
    });
}

StationConsole::~StationConsole() = default;

QString StationConsole::programFile(const QString& name) const
{
    QString relative = name;
    while (relative.startsWith(u'\\') || relative.startsWith(u'/'))
        relative.remove(0, 1);
    return QDir(m_env.programFolder).filePath(relative);
}

bool StationConsole::loadPicture(ConsoleControl* picture, const QString& name)
{
    return picture && picture->loadPicture(programFile(name));
}

void StationConsole::setMsg(const QString& text)
{
    m_model.setMsg(text);
}

void StationConsole::setMsg1(const QString& text)
{
    m_model.setMsg1(text);
}

QString StationConsole::msgText() const
{
    return m_model.msgText();
}

QString StationConsole::msg1Text() const
{
    return m_model.msg1Text();
}

// ---- start-up and shutdown

void StationConsole::runCommandLine()
{
    if (!m_env.commandLine.isEmpty() && !m_env.commandLine.first().isEmpty() && m_env.startDetached)
        m_env.startDetached(m_env.commandLine.first(), m_env.commandLine.mid(1));
}

void StationConsole::Form_Load()
{
    StationState& s = stationState();
    Timer1->setEnabled(true);
    Timer2->setEnabled(true);
    Timer3->setEnabled(true);
    Timer5->setEnabled(true);

    s.DataFailed = false;
    s.ComPort = 3;
    LoadStationConfig();

    if (const auto port = s.ComPort.toInt16()) {
        const QString name = m_env.resolveSerialPort ? m_env.resolveSerialPort(*port)
                                                     : defaultSerialPortName(m_env.programFolder, *port);
        if (!name.isEmpty()) {
            MSComm1->setPortName(name);
            MSComm1->open();
        }
    }

    s.SpectrometerTimeout = 10000;
    runCommandLine();
    s.SpectrometerTopic = QStringLiteral("OPUS|System");
    if (m_hooks.connectToServer)
        m_hooks.connectToServer(s.SpectrometerTopic);
    if (m_ended)
        return;

    s.ExperimentFile = "ROUGH.XPM";
    s.FileSuffix = QStringLiteral("-ROUGH");
    s.StageName = QStringLiteral("ROUGH");
    Timer7->setEnabled(true);

    const double station = s.MachineNumber.toNumber() + 1;
    // The "000" pattern pads the digits, not the sign: -4 is "-004".
    const bool whole = std::isfinite(station) && std::fabs(station) < 1e15;
    const qlonglong rounded = whole ? std::llround(station) : 0;
    m_model.Label41->setText(whole ? QLatin1String(rounded < 0 ? "-" : "") +
                                         QStringLiteral("%1").arg(qAbs(rounded), 3, 10, QLatin1Char('0'))
                                   : NumberText::format(station));
    m_model.Label18->setText(s.UserName);
    m_model.Label22->setText(s.CompanyCode);

    // Windowed modes show the motion parameter boxes; the window lays itself out when shown.
    if (s.WindowMode.equals(1) || s.WindowMode.equals(3))
        m_model.Frame1->show();
    loadPicture(m_model.Image1, QStringLiteral("VELORA.jpg"));
    setMsg(m_model.caption());
    m_model.Frame3->show();
    m_model.Text8->hide();
    m_model.Image7->hide();
    m_model.showWindow();
}

void StationConsole::LoadStationConfig()
{
    StationState& s = stationState();
    const QString path = StationConfigFile::path(m_env.programFolder);
    const auto file = StationConfigFile::read(path, &m_configEncoding);
    if (!file)
        return;
    const StationConfigFile::Values& v = *file;

    auto toInt16 = [](const StoredValue& value, qint16& target) {
        if (const auto n = value.toInt16())
            target = *n;
    };
    s.ComPort = v[0];
    m_model.Text12->setText(v[1].toText());
    m_model.Text13->setText(v[2].toText());
    m_model.Text1->setText(v[3].toText());
    m_model.Text2->setText(v[4].toText());
    m_model.Text3->setText(v[5].toText());
    m_model.Text4->setText(v[6].toText());
    m_model.Text5->setText(v[7].toText());
    m_model.Text6->setText(v[8].toText());
    s.DataFolder = v[9];
    s.ModeIndex = v[10];
    s.ExperimentFile = v[11];
    m_model.Text8->setText(v[12].toText());
    s.WindowLeft = v[13];
    s.WindowTop = v[14];
    s.MachineNumber = v[15];
    s.UserName = v[16].toText();
    if (s.UserName.isEmpty())
        s.UserName = QStringLiteral("ZENTI");
    s.CompanyCode = v[17].toText();
    if (s.CompanyCode.isEmpty())
        s.CompanyCode = QStringLiteral("qtx");
    s.WindowWidth = v[18];
    s.WindowHeight = v[19];
    s.WindowMode = v[20];
    toInt16(v[21], s.OpusPathFromVersion);
    toInt16(v[22], s.ServerMode);
    s.InstrumentFolder = v[23].toText();
    toInt16(v[24], s.CheckIntervalMinutes);
    s.OpusVersion = v[25];
    if (s.OpusVersion.toText().isEmpty())
        s.OpusVersion = "9.1.4";

    s.ProgramVersion =
        QStringLiteral("%1-%2-%3").arg(m_env.versionMajor).arg(m_env.versionMinor).arg(m_env.versionRevision);
    m_model.Label11->setText(s.ProgramVersion.toText());

    // Clamp the stored position against the screen and the window's design size.
    const QSize screen = m_model.screenTwips();
    const QRect window = m_model.windowTwips();
    const double screenW = screen.width();
    const double screenH = screen.height();
    const double windowW = window.width();
    const double windowH = window.height();
    auto numericNotEmpty = [](const StoredValue& value) { return !value.isEmpty() && value.isNumeric(); };
    if (numericNotEmpty(s.WindowLeft) && s.WindowLeft.toNumber() < 0)
        s.WindowLeft = single(0);
    if (numericNotEmpty(s.WindowTop) && s.WindowTop.toNumber() < 400)
        s.WindowTop = single(400);
    if (numericNotEmpty(s.WindowLeft) && s.WindowLeft.toNumber() > screenW + 810 - windowW)
        s.WindowLeft = single(screenW + 810 - windowW);
    if (numericNotEmpty(s.WindowTop) && s.WindowTop.toNumber() > screenH - windowH)
        s.WindowTop = single(screenH - windowH);

    m_model.Label9->setText(s.DataFolder.toText());
    Timer3->setInterval(60000);
    Timer8->setInterval(60000);
}

void StationConsole::SaveStationConfig()
{
    StationState& s = stationState();
    const QString path = StationConfigFile::path(m_env.programFolder);
    if (!QFileInfo::exists(path))
        return;
    const QRect g = m_model.windowTwips();
    s.WindowLeft = single(g.x());
    s.WindowTop = single(g.y());
    s.WindowWidth = single(g.width());
    s.WindowHeight = single(g.height());

    StationConfigFile::Values v;
    v[0] = StoredValue(s.ComPort.toText());
    v[1] = StoredValue(m_model.Text12->text());
    v[2] = StoredValue(m_model.Text13->text());
    v[3] = StoredValue(m_model.Text1->text());
    v[4] = StoredValue(m_model.Text2->text());
    v[5] = StoredValue(m_model.Text3->text());
    v[6] = StoredValue(m_model.Text4->text());
    v[7] = StoredValue(m_model.Text5->text());
    v[8] = StoredValue(m_model.Text6->text());
    v[9] = s.DataFolder;
    v[10] = s.ModeIndex;
    v[11] = s.ExperimentFile;
    v[12] = StoredValue(m_model.Text8->text());
    v[13] = s.WindowLeft;
    if (s.WindowTop.isNumeric() && s.WindowTop.toNumber() < 400)
        s.WindowTop = single(400);
    v[14] = s.WindowTop;
    v[15] = s.MachineNumber;
    v[16] = StoredValue(s.UserName);
    v[17] = StoredValue(s.CompanyCode);
    v[18] = s.WindowWidth;
    v[19] = s.WindowHeight;
    v[20] = s.WindowMode;
    v[21] = StoredValue(static_cast<int>(s.OpusPathFromVersion));
    v[22] = StoredValue(static_cast<int>(s.ServerMode));
    v[23] = StoredValue(s.InstrumentFolder);
    v[24] = StoredValue(static_cast<int>(s.CheckIntervalMinutes));
    v[25] = s.OpusVersion;
    StationConfigFile::write(path, v, m_configEncoding);
}

bool StationConsole::requestUnload()
{
    if (m_ended)
        return true;
    if (m_unloading || (m_hooks.confirmUnload && !m_hooks.confirmUnload()))
        return false;
    Form_Unload();
    return true;
}

void StationConsole::Form_Unload()
{
    if (m_ended || m_unloading)
        return;
    m_unloading = true;
    SaveStationConfig();
    QString error;
    bool closed = false;
    if (m_link)
        closed = m_link->execute(CloseOpusCommand, &error);
    else
        error = QStringLiteral("No link to the spectrometer software");
    if (!closed) {
        m_model.ddeLink->setText(error);
        m_operator->showSystemMessage(ClosingErrorText, ProgramTitle, Operator::Icon::Critical);
    }
    endProgram();
}

void StationConsole::endProgram()
{
    if (m_ended)
        return;
    m_ended = true;
    for (StationTimer* t : {Timer1, Timer2, Timer3, Timer4, Timer5, Timer7, Timer8})
        t->setEnabled(false);
    if (MSComm1->isOpen())
        MSComm1->close();
    m_link.reset();
    m_model.hideWindow();
    emit ended();
}

void StationConsole::CheckControllerPort()
{
    static bool reporting = false;
    if (MSComm1->isOpen() || reporting || m_ended)
        return;
    reporting = true;
    m_operator->showSystemMessage(ControllerErrorText, ControllerErrorTitle, Operator::Icon::Critical);
    reporting = false;
    // Ends at once: no unload, the configuration is not saved, the software is not told.
    if (m_env.terminate)
        m_env.terminate(1);
    endProgram();
}

void StationConsole::Timer3_Timer()
{
    StationState& s = stationState();
    if (!m_model.Image1->isEnabled())
        return;
    if (s.HealthCheckMinutes < 32767)
        ++s.HealthCheckMinutes;
    if (s.HealthCheckMinutes > s.CheckIntervalMinutes) {
        if (m_hooks.Image1_Click)
            m_hooks.Image1_Click();
        s.HealthCheckMinutes = 0;
    }
}

void StationConsole::Timer4_Timer()
{
    StationState& s = stationState();
    if (s.WaitTicks < 32767)
        ++s.WaitTicks;
}

void StationConsole::Timer8_Timer()
{
    StationState& s = stationState();
    s.BackgroundAgeMinutes = s.BackgroundAgeMinutes.plus(1);
    if (s.BackgroundAgeMinutes.toNumber() > s.CheckIntervalMinutes) {
        s.BackgroundDone = false;
        s.BackgroundAgeMinutes = 0;
    }
}
