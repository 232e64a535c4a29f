#include "ui/Frmgrading.h"

#include "core/NumberText.h"
#include "core/SpectrometerLink.h"
#include "core/StationConfigFile.h"
#include "core/StationState.h"
#include "ui/CircleShape.h"
#include "ui/ConsoleStatus.h"
#include "ui/ClickableLabel.h"
#include "ui/MsgBox_.h"
#include "ui/PictureBox.h"
#include "ui/TextBox.h"
#include "ui/Twips.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegion>
#include <QScreen>
#include <QSerialPort>

#include <cmath>

namespace {

constexpr int DesignWidthTwips = 8000;
constexpr int DesignHeightTwips = 5300;
constexpr int DesignLeftTwips = 600;
constexpr int DesignTopTwips = 600;

const QString WindowCaption = QStringLiteral("VELORA ");
const QString ControllerErrorText = QStringLiteral(
    "USB Controller Comport Error \r\nPlease check Com Port or USB Cables and Restart the Program !!!");
const QString ControllerErrorTitle = QStringLiteral("Controller ERROR");
const QString CloseOpusCommand = QStringLiteral("CLOSE_OPUS");
const QString ClosingErrorText = QStringLiteral("ERROR CLOSING or PROGRAM ALREADY CLOSED !!!");
const QString ProgramTitle = QStringLiteral("VELORA");

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::Text, colour);
    widget->setPalette(p);
}

} // namespace

Frmgrading::Frmgrading(StationEnvironment environment, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint)
    , m_env(std::move(environment))
    , m_clock(m_env.timeScale)
{
    setObjectName(QStringLiteral("frmgrading"));
    setWindowTitle(WindowCaption);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(65, 65, 65));
    setPalette(pal);

    if (m_env.makeSpectrometerLink)
        m_link = m_env.makeSpectrometerLink();

    MSComm1 = new QSerialPort(this);
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
    connect(Timer1, &StationTimer::timeout, this, &Frmgrading::CheckControllerPort);
    connect(Timer3, &StationTimer::timeout, this, &Frmgrading::Timer3_Timer);
    connect(Timer4, &StationTimer::timeout, this, &Frmgrading::Timer4_Timer);
    connect(Timer8, &StationTimer::timeout, this, &Frmgrading::Timer8_Timer);

    buildControls();
    m_status = new ConsoleStatus(*this);

    connect(Register, &PictureBox::clicked, this, &Frmgrading::Register_Click);
    connect(Query, &PictureBox::clicked, this, &Frmgrading::Query_Click);
    connect(Image7, &PictureBox::clicked, this, &Frmgrading::Image7_Click);
    connect(Label11, &ClickableLabel::clicked, this, &Frmgrading::Label11_Click);
    connect(Label9, &ClickableLabel::clicked, this, &Frmgrading::Label9_Click);
    connect(Image3, &PictureBox::clicked, this, &Frmgrading::Image3_Click);
    connect(Image1, &PictureBox::clicked, this, [this] {
        if (m_hooks.Image1_Click)
            m_hooks.Image1_Click();
    });

    qApp->installEventFilter(this);
}

Frmgrading::~Frmgrading()
{
    qApp->removeEventFilter(this);
}

void Frmgrading::buildControls()
{
    const Twips tw(this);
    auto place = [&](QWidget* w, int l, int t, int wd, int h) { w->setGeometry(tw.rect(l, t, wd, h)); };
    auto named = [](QWidget* w, const QString& name) {
        w->setObjectName(name);
        return w;
    };
    auto picture = [&](QWidget* parent, const QString& name, int l, int t, int wd, int h,
                       const QString& tip = QString()) {
        auto* p = new PictureBox(parent);
        named(p, name);
        place(p, l, t, wd, h);
        p->setToolTip(tip);
        return p;
    };
    auto label = [&](QWidget* parent, const QString& name, const QString& caption, int l, int t, int wd,
                     int h) {
        auto* lab = new QLabel(caption, parent);
        named(lab, name);
        place(lab, l, t, wd, h);
        setTextColour(lab, Qt::white);
        return lab;
    };
    auto clickLabel = [&](QWidget* parent, const QString& name, const QString& caption, int l, int t, int wd,
                          int h, const QString& tip = QString()) {
        auto* lab = new ClickableLabel(caption, parent);
        named(lab, name);
        place(lab, l, t, wd, h);
        lab->setToolTip(tip);
        setTextColour(lab, Qt::white);
        return lab;
    };
    auto textBox = [&](QWidget* parent, const QString& name, const QString& text, int l, int t, int wd, int h,
                       const QString& tip = QString()) {
        auto* box = new TextBox(text, parent);
        named(box, name);
        place(box, l, t, wd, h);
        box->setToolTip(tip);
        return box;
    };
    auto multiLine = [&](QWidget* parent, const QString& name, const QString& text, int l, int t, int wd,
                         int h, const QString& tip = QString()) {
        auto* box = new QPlainTextEdit(text, parent);
        named(box, name);
        place(box, l, t, wd, h);
        box->setToolTip(tip);
        return box;
    };
    auto button = [&](QWidget* parent, const QString& name, const QString& caption, int l, int t, int wd,
                      int h, const QString& tip = QString()) {
        auto* b = new QPushButton(caption, parent);
        named(b, name);
        place(b, l, t, wd, h);
        b->setToolTip(tip);
        return b;
    };
    auto frame = [&](QWidget* parent, const QString& name, int l, int t, int wd, int h) {
        auto* f = new QFrame(parent);
        named(f, name);
        place(f, l, t, wd, h);
        return f;
    };

    Frame3 = frame(this, QStringLiteral("Frame3"), -120, 120, 8115, 5205);
    Frame1 = frame(this, QStringLiteral("Frame1"), 7920, 120, 4935, 4455);
    Frame2 = frame(this, QStringLiteral("Frame2"), 13920, 240, 3615, 4575);
    Frame1->hide();
    Frame2->hide();

    Image1 = picture(Frame3, QStringLiteral("Image1"), 240, 0, 1200, 330);
    Label11 = clickLabel(Frame3, QStringLiteral("Label11"), QString(), 1800, 120, 1095, 255,
                         QStringLiteral("File Version - Click to check Latest Version"));
    Register = picture(Frame3, QStringLiteral("Register"), 240, 480, 1530, 525,
                       QStringLiteral("Click here to Register"));
    Query =
        picture(Frame3, QStringLiteral("Query"), 1920, 480, 1290, 510, QStringLiteral("Click here to Query"));
    Image2[1] = picture(Frame3, QStringLiteral("Image2_1"), 7010, 0, 375, 375,
                        QStringLiteral("Open Settings to Start Machine"));
    Image10 = picture(Frame3, QStringLiteral("Image10"), 7380, 0, 375, 375);
    Image2[0] = picture(Frame3, QStringLiteral("Image2_0"), 7730, 0, 375, 375,
                        QStringLiteral("Close or End the Session"));

    constexpr int ModeWidth = 1935;
    constexpr int ModeHeight = 465;
    Rough1 = picture(Frame3, QStringLiteral("Rough1"), 240, 1200, ModeWidth, ModeHeight);
    Splits1 = picture(Frame3, QStringLiteral("Splits1"), 240, 1695, ModeWidth, ModeHeight);
    Polish1 = picture(Frame3, QStringLiteral("Polish1"), 240, 2205, ModeWidth, ModeHeight);
    Polish2 = picture(Frame3, QStringLiteral("Polish2"), 4320, 1200, ModeWidth, ModeHeight);
    Polish3 = picture(Frame3, QStringLiteral("Polish3"), 4320, 1680, ModeWidth, ModeHeight);
    Polish4 = picture(Frame3, QStringLiteral("Polish4"), 4320, 2200, ModeWidth, ModeHeight);
    for (PictureBox* mode : {Rough1, Splits1, Polish1, Polish2, Polish3, Polish4})
        mode->hide();

    Text8 = textBox(Frame3, QStringLiteral("Text8"), QStringLiteral("StoneId"), 480, 2760, 3255, 405,
                    QStringLiteral("Enter Stone_ID or Scan via Barcode"));
    Text8->setSelectAllOnFocus(true);
    Image7 = picture(Frame3, QStringLiteral("Image7"), 4080, 2760, 1875, 465);
    Label19 = label(Frame3, QStringLiteral("Label19"), QStringLiteral("Mc_ No :="), 360, 3300, 1035, 255);
    Label41 = label(Frame3, QStringLiteral("Label41"), QString(), 1440, 3240, 855, 315);
    Label20 = label(Frame3, QStringLiteral("Label20"), QStringLiteral("Mc_ID :="), 2520, 3300, 915, 255);
    Label18 = label(Frame3, QStringLiteral("Label18"), QString(), 3480, 3240, 2295, 315);
    Label21 = label(Frame3, QStringLiteral("Label21"), QStringLiteral("Comp:="), 6360, 3300, 795, 255);
    Label22 = label(Frame3, QStringLiteral("Label22"), QString(), 7200, 3240, 795, 315);
    Label23 = label(Frame3, QStringLiteral("Label23"), QString(), 6000, 2280, 1935, 240);
    Label24 = label(Frame3, QStringLiteral("Label24"), QString(), 6000, 2520, 1935, 240);
    Label25 = label(Frame3, QStringLiteral("Label25"), QString(), 6000, 2760, 1935, 240);
    Text9 = textBox(Frame3, QStringLiteral("Text9"), QString(), 6000, 3600, 1575, 315,
                    QStringLiteral("Peak Value"));
    Msg = multiLine(Frame3, QStringLiteral("Msg"), QStringLiteral("Message"), 360, 3960, 5535, 555,
                    QStringLiteral("Messagebox"));
    Text11 = textBox(Frame3, QStringLiteral("Text11"), QString(), 6000, 4200, 1575, 315,
                     QStringLiteral("Status of Humidity control etc"));
    Text9->setShowStart(true);
    Text11->setShowStart(true);
    Shape1 = new CircleShape(Frame3);
    named(Shape1, QStringLiteral("Shape1"));
    place(Shape1, 7680, 4275, 375, 375);
    Msg1 = multiLine(Frame3, QStringLiteral("Msg1"), QStringLiteral("Message"), 360, 4560, 5535, 555,
                     QStringLiteral("Messagebox"));
    Image6 = picture(Frame3, QStringLiteral("Image6"), 0, 3960, 8145, 4065);
    Image6->hide();

    // Settings strip and the up/down controls shown with it
    Frame4 = frame(Frame3, QStringLiteral("Frame4"), 3240, 0, 3735, 975);
    Image4 = picture(Frame4, QStringLiteral("Image4"), 0, 0, 3735, 975);
    Image8 = picture(Frame4, QStringLiteral("Image8"), 240, 120, 735, 735);
    Image5 = picture(Frame4, QStringLiteral("Image5"), 1080, 120, 735, 735);
    Image9 = picture(Frame4, QStringLiteral("Image9"), 1920, 120, 735, 735,
                     QStringLiteral("Click here to Start Opus"));
    Image3 = picture(Frame4, QStringLiteral("Image3"), 2760, 120, 735, 735,
                     QStringLiteral("Click here to Start Opus"));
    Frame4->hide();
    Text2 = textBox(Frame3, QStringLiteral("Text2"), QStringLiteral("320"), 3240, 975, 735, 255,
                    QStringLiteral("Move Up Counts "));
    Command2 = button(Frame3, QStringLiteral("Command2"), QStringLiteral("Up"), 4020, 975, 855, 255,
                      QStringLiteral("Move Up"));
    Text3 = textBox(Frame3, QStringLiteral("Text3"), QStringLiteral("320"), 5040, 975, 735, 255,
                    QStringLiteral("Move Down Counts "));
    Command3 = button(Frame3, QStringLiteral("Command3"), QStringLiteral("Down"), 5820, 975, 855, 255,
                      QStringLiteral("MoveDown"));
    for (QWidget* w : std::initializer_list<QWidget*>{Text2, Command2, Text3, Command3})
        w->hide();

    // Motion parameter boxes
    Text12 = textBox(Frame1, QStringLiteral("Text12"), QStringLiteral("300"), 120, 240, 1215, 315,
                     QStringLiteral("Move Forward Counts"));
    Text13 = textBox(Frame1, QStringLiteral("Text13"), QStringLiteral("300"), 120, 720, 1215, 315,
                     QStringLiteral("Retract back Counts"));
    Text1 = textBox(Frame1, QStringLiteral("Text1"), QStringLiteral("50"), 120, 1200, 1215, 315,
                    QStringLiteral("Rotate Rx Counts"));
    Text4 = textBox(Frame1, QStringLiteral("Text4"), QStringLiteral("50"), 120, 1680, 1215, 315,
                    QStringLiteral("Rotate Rx Counts"));
    Text5 = textBox(Frame1, QStringLiteral("Text5"), QStringLiteral("15"), 120, 2160, 1215, 315);
    Text6 = textBox(Frame1, QStringLiteral("Text6"), QStringLiteral("6"), 120, 2640, 1215, 315,
                    QStringLiteral("Repeat Rx"));
    Command1 = button(Frame1, QStringLiteral("Command1"), QStringLiteral("Rx +"), 1560, 1200, 1215, 315,
                      QStringLiteral("Rotate Rx by Steps"));
    Command6 = button(Frame1, QStringLiteral("Command6"), QStringLiteral("Rx -"), 1560, 1680, 1215, 315,
                      QStringLiteral("Rotate Rx by Steps"));

    // Named actions and value holders
    int row = 0;
    auto nextTop = [&row] { return 120 + 240 * row++; };
    Command4 = button(Frame2, QStringLiteral("Command4"), QStringLiteral("INIT"), 120, nextTop(), 1095, 225,
                      QStringLiteral("INIT All Motors"));
    Command18 = button(Frame2, QStringLiteral("Command18"), QStringLiteral("MoveInside"), 120, nextTop(),
                       1095, 225, QStringLiteral("MoveInside Forward"));
    Command19 = button(Frame2, QStringLiteral("Command19"), QStringLiteral("Retract"), 120, nextTop(), 1095,
                       225, QStringLiteral("Retract Back Outside"));
    const QString modeCaptions[6] = {QStringLiteral("Rough"),         QStringLiteral("Polish"),
                                     QStringLiteral("Splits"),        QStringLiteral("Polish-Rough"),
                                     QStringLiteral("Polish-Splits"), QStringLiteral("Splits-Rough")};
    for (int i = 0; i < 6; ++i)
        Label14[i] = clickLabel(Frame2, QStringLiteral("Label14_%1").arg(i), modeCaptions[i], 120, nextTop(),
                                1095, 225);
    Label_R[0] = clickLabel(Frame2, QStringLiteral("Label_R_0"), QStringLiteral("Register"), 120, nextTop(),
                            1095, 225);
    Label_Q[0] =
        clickLabel(Frame2, QStringLiteral("Label_Q_0"), QStringLiteral("Query"), 120, nextTop(), 1095, 225);
    Label9 = clickLabel(Frame2, QStringLiteral("Label9"), QStringLiteral("Folder Path"), 120, nextTop(), 3375,
                        225, QStringLiteral("Click to select Path"));

    row = 0;
    Command5 = button(Frame2, QStringLiteral("Command5"), QStringLiteral("Ref"), 1320, nextTop(), 1095, 225);
    Command8 =
        button(Frame2, QStringLiteral("Command8"), QStringLiteral("Measure"), 1320, nextTop(), 1095, 225);
    Sample = button(Frame2, QStringLiteral("Sample"), QStringLiteral("Measure Sample"), 1320, nextTop(), 1095,
                    225);
    Reference = button(Frame2, QStringLiteral("Reference"), QStringLiteral("Take Reference"), 1320, nextTop(),
                       1095, 225);
    Command10 =
        button(Frame2, QStringLiteral("Command10"), QStringLiteral("Save"), 1320, nextTop(), 1095, 225);
    Command11 =
        button(Frame2, QStringLiteral("Command11"), QStringLiteral("Unload"), 1320, nextTop(), 1095, 225);
    Command9 = button(Frame2, QStringLiteral("Command9"), QStringLiteral("Path"), 1320, nextTop(), 1095, 225);
    Command7 = button(Frame2, QStringLiteral("Command7"), QStringLiteral("START"), 1320, nextTop(), 1095, 225,
                      QStringLiteral("START OPUS"));
    Exit = button(Frame2, QStringLiteral("Exit"), QStringLiteral("Connect"), 1320, nextTop(), 1095, 225);
    Command17 =
        button(Frame2, QStringLiteral("Command17"), QStringLiteral("Command17"), 1320, nextTop(), 1095, 225);
    Command20 =
        button(Frame2, QStringLiteral("Command20"), QStringLiteral("Command20"), 1320, nextTop(), 1095, 225);
    Command21 =
        button(Frame2, QStringLiteral("Command21"), QStringLiteral("Command21"), 1320, nextTop(), 1095, 225);
    Command22 =
        button(Frame2, QStringLiteral("Command22"), QStringLiteral("Command22"), 1320, nextTop(), 1095, 225);

    row = 0;
    Command15 =
        button(Frame2, QStringLiteral("Command15"), QStringLiteral("Internet"), 2520, nextTop(), 1095, 225);
    cmdGetRequest = button(Frame2, QStringLiteral("cmdGetRequest"), QStringLiteral("GetRequest"), 2520,
                           nextTop(), 1095, 225);
    cmdPostRequest = button(Frame2, QStringLiteral("cmdPostRequest"), QStringLiteral("Token Generation"),
                            2520, nextTop(), 1095, 225);
    Command14 =
        button(Frame2, QStringLiteral("Command14"), QStringLiteral("Generate"), 2520, nextTop(), 1095, 225);
    Command13 = button(Frame2, QStringLiteral("Command13"), QStringLiteral("Upload Diamond"), 2520, nextTop(),
                       1095, 225);
    Query_1 = button(Frame2, QStringLiteral("Query_1"), QStringLiteral("Query OffLine"), 2520, nextTop(),
                     1095, 225, QStringLiteral("Offline_query - Uploading"));
    Register_1 = button(Frame2, QStringLiteral("Register_1"), QStringLiteral("Register OffLine"), 2520,
                        nextTop(), 1095, 225, QStringLiteral("Offline_query - Uploading"));
    for (int i = 0; i < 3; ++i)
        Text7[i] = textBox(Frame2, QStringLiteral("Text7_%1").arg(i), QString(), 2520, nextTop(), 1095, 225);
    Text10 = textBox(Frame2, QStringLiteral("Text10"), QString(), 2520, nextTop(), 1095, 225);
    Text20 = textBox(Frame2, QStringLiteral("Text20"), QString(), 2520, nextTop(), 1095, 225);
    ddeLink = multiLine(Frame2, QStringLiteral("ddeLink"), QString(), 2520, nextTop(), 1095, 465);

    // Design pictures of the controls that keep theirs
    loadPicture(Register, QStringLiteral("register.jpg"));
    loadPicture(Query, QStringLiteral("Query.jpg"));
    loadPicture(Image2[0], QStringLiteral("Close.jpg"));
    loadPicture(Image2[1], QStringLiteral("Settings.jpg"));
    loadPicture(Image10, QStringLiteral("Station.jpg"));
    loadPicture(Image7, QStringLiteral("Start.jpg"));
    loadPicture(Image6, QStringLiteral("Banner.jpg"));
    loadPicture(Image4, QStringLiteral("Strip.jpg"));
    loadPicture(Image8, QStringLiteral("MoveIn.jpg"));
    loadPicture(Image5, QStringLiteral("MoveOut.jpg"));
    loadPicture(Image9, QStringLiteral("Init.jpg"));
    loadPicture(Image3, QStringLiteral("Opus.jpg"));

    for (QPlainTextEdit* line : {Msg, Msg1}) {
        connect(line, &QPlainTextEdit::textChanged, this, [this, line] {
            if (line == Msg)
                emit msgChanged(Msg->toPlainText());
            else
                emit msg1Changed(Msg1->toPlainText());
        });
    }

    resize(tw.x(DesignWidthTwips), tw.y(DesignHeightTwips));
    move(tw.x(DesignLeftTwips), tw.y(DesignTopTwips));
}

// ---- geometry helpers

int Frmgrading::twipsToPixelsX(double twips) const
{
    return Twips(this).x(twips);
}

int Frmgrading::twipsToPixelsY(double twips) const
{
    return Twips(this).y(twips);
}

double Frmgrading::pixelsToTwipsX(int pixels) const
{
    return Twips(this).fromX(pixels);
}

double Frmgrading::pixelsToTwipsY(int pixels) const
{
    return Twips(this).fromY(pixels);
}

void Frmgrading::placeTwips(QWidget* control, int left, int top, int width, int height) const
{
    control->setGeometry(Twips(this).rect(left, top, width, height));
}

QRect Frmgrading::windowTwips() const
{
    const QRect g = frameGeometry();
    return QRect(qRound(pixelsToTwipsX(g.x())), qRound(pixelsToTwipsY(g.y())),
                 qRound(pixelsToTwipsX(g.width())), qRound(pixelsToTwipsY(g.height())));
}

QString Frmgrading::programFile(const QString& name) const
{
    QString relative = name;
    while (relative.startsWith(u'\\') || relative.startsWith(u'/'))
        relative.remove(0, 1);
    return QDir(m_env.programFolder).filePath(relative);
}

bool Frmgrading::loadPicture(PictureBox* picture, const QString& name)
{
    return picture && picture->loadPicture(programFile(name));
}

// ---- message lines

// Waits rewrite their text before every yield; laying out the same text again is wasted work.
void Frmgrading::setMsg(const QString& text)
{
    if (Msg->toPlainText() != text)
        Msg->setPlainText(text);
}

void Frmgrading::setMsg1(const QString& text)
{
    if (Msg1->toPlainText() != text)
        Msg1->setPlainText(text);
}

QString Frmgrading::msgText() const
{
    return Msg->toPlainText();
}

QString Frmgrading::msg1Text() const
{
    return Msg1->toPlainText();
}

void Frmgrading::showSystemMessage(const QString& text, const QString& title, QMessageBox::Icon icon)
{
    QMessageBox box(icon, title, text, QMessageBox::Ok, isVisible() ? this : nullptr);
    box.setObjectName(QStringLiteral("SystemMessageBox"));
    box.exec();
}

// ---- start-up and shutdown

void Frmgrading::runCommandLine()
{
    if (!m_env.commandLine.isEmpty() && !m_env.commandLine.first().isEmpty() && m_env.startDetached)
        m_env.startDetached(m_env.commandLine.first(), m_env.commandLine.mid(1));
}

void Frmgrading::Form_Load()
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
            MSComm1->setBaudRate(QSerialPort::Baud9600);
            MSComm1->setParity(QSerialPort::NoParity);
            MSComm1->setDataBits(QSerialPort::Data8);
            MSComm1->setStopBits(QSerialPort::OneStop);
            MSComm1->setFlowControl(QSerialPort::NoFlowControl);
            if (MSComm1->open(QIODevice::ReadWrite))
                MSComm1->setDataTerminalReady(false);
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
    Label41->setText(whole ? QLatin1String(rounded < 0 ? "-" : "") +
                                 QStringLiteral("%1").arg(qAbs(rounded), 3, 10, QLatin1Char('0'))
                           : NumberText::format(station));
    Label18->setText(s.UserName);
    Label22->setText(s.CompanyCode);

    layOutWindow();
    Image1->loadPicture(programFile(QStringLiteral("VELORA.jpg")));
    setMsg(windowTitle());
    Frame3->show();
    Text8->hide();
    Image7->hide();
    show();
}

void Frmgrading::layOutWindow()
{
    const StationState& s = stationState();
    const Twips tw(this);
    QScreen* scr = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect screenPx = scr ? scr->geometry() : QRect(0, 0, 1024, 768);
    const StoredValue& mode = s.WindowMode;

    if (mode.isEmpty() || mode.equals(0)) {
        setWindowFlag(Qt::WindowStaysOnTopHint, true);
        move(0, 0);
        resize(tw.x(DesignWidthTwips), tw.y(DesignHeightTwips));
        move(screenPx.x() + (screenPx.width() - width()) / 2,
             screenPx.y() + (screenPx.height() - height()) / 2);
        QPainterPath outline;
        outline.addRoundedRect(QRectF(0, 0, width(), height()), 10, 10);
        setMask(QRegion(outline.toFillPolygon().toPolygon()));
    } else if (mode.equals(1) || mode.equals(3)) {
        resize(tw.x(DesignWidthTwips), tw.y(DesignHeightTwips));
        move(tw.x(s.WindowLeft.toNumber()), tw.y(s.WindowTop.toNumber()));
        Frame1->show();
    } else if (mode.equals(2)) {
        const int heightPx = screenPx.height() - tw.y(100);
        setGeometry(screenPx.x(), screenPx.y(), screenPx.width(), heightPx);
        // Centred on the screen, not in the window, which is 100 twips shorter.
        Frame3->move((screenPx.width() - Frame3->width()) / 2, (screenPx.height() - Frame3->height()) / 2);
        setWindowState(Qt::WindowNoState);
    }
    // Any other value keeps the design geometry.
}

void Frmgrading::LoadStationConfig()
{
    StationState& s = stationState();
    const QString path = StationConfigFile::path(m_env.programFolder);
    const auto file = StationConfigFile::read(path, &m_configEncoding);
    m_configFileExisted = file.has_value();
    if (!file)
        return;
    const StationConfigFile::Values& v = *file;

    auto toInt16 = [](const StoredValue& value, qint16& target) {
        if (const auto n = value.toInt16())
            target = *n;
    };
    s.ComPort = v[0];
    Text12->setText(v[1].toText());
    Text13->setText(v[2].toText());
    Text1->setText(v[3].toText());
    Text2->setText(v[4].toText());
    Text3->setText(v[5].toText());
    Text4->setText(v[6].toText());
    Text5->setText(v[7].toText());
    Text6->setText(v[8].toText());
    s.DataFolder = v[9];
    s.ModeIndex = v[10];
    s.ExperimentFile = v[11];
    Text8->setText(v[12].toText());
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
    Label11->setText(s.ProgramVersion.toText());

    // Clamp the stored position against the screen and the window's design size.
    QScreen* scr = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect screenPx = scr ? scr->geometry() : QRect(0, 0, 1024, 768);
    const double screenW = pixelsToTwipsX(screenPx.width());
    const double screenH = pixelsToTwipsY(screenPx.height());
    const double windowW = pixelsToTwipsX(width());
    const double windowH = pixelsToTwipsY(height());
    auto single = [](double value) { return StoredValue(static_cast<double>(static_cast<float>(value))); };
    auto numericNotEmpty = [](const StoredValue& value) { return !value.isEmpty() && value.isNumeric(); };
    if (numericNotEmpty(s.WindowLeft) && s.WindowLeft.toNumber() < 0)
        s.WindowLeft = single(0);
    if (numericNotEmpty(s.WindowTop) && s.WindowTop.toNumber() < 400)
        s.WindowTop = single(400);
    if (numericNotEmpty(s.WindowLeft) && s.WindowLeft.toNumber() > screenW + 810 - windowW)
        s.WindowLeft = single(screenW + 810 - windowW);
    if (numericNotEmpty(s.WindowTop) && s.WindowTop.toNumber() > screenH - windowH)
        s.WindowTop = single(screenH - windowH);

    Label9->setText(s.DataFolder.toText());
    Timer3->setInterval(60000);
    Timer8->setInterval(60000);
}

void Frmgrading::SaveStationConfig()
{
    StationState& s = stationState();
    const QString path = StationConfigFile::path(m_env.programFolder);
    if (!QFileInfo::exists(path))
        return;
    const QRect g = windowTwips();
    auto single = [](double value) { return StoredValue(static_cast<double>(static_cast<float>(value))); };
    s.WindowLeft = single(g.x());
    s.WindowTop = single(g.y());
    s.WindowWidth = single(g.width());
    s.WindowHeight = single(g.height());

    StationConfigFile::Values v;
    v[0] = StoredValue(s.ComPort.toText());
    v[1] = StoredValue(Text12->text());
    v[2] = StoredValue(Text13->text());
    v[3] = StoredValue(Text1->text());
    v[4] = StoredValue(Text2->text());
    v[5] = StoredValue(Text3->text());
    v[6] = StoredValue(Text4->text());
    v[7] = StoredValue(Text5->text());
    v[8] = StoredValue(Text6->text());
    v[9] = s.DataFolder;
    v[10] = s.ModeIndex;
    v[11] = s.ExperimentFile;
    v[12] = StoredValue(Text8->text());
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

void Frmgrading::closeEvent(QCloseEvent* event)
{
    if (m_ended) {
        event->accept();
        return;
    }
    if (m_unloading || (m_hooks.confirmUnload && !m_hooks.confirmUnload())) {
        event->ignore();
        return;
    }
    event->accept();
    Form_Unload();
}

void Frmgrading::Form_Unload()
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
        ddeLink->setPlainText(error);
        showSystemMessage(ClosingErrorText, ProgramTitle, QMessageBox::Critical);
    }
    endProgram();
}

void Frmgrading::endProgram()
{
    if (m_ended)
        return;
    m_ended = true;
    for (StationTimer* t : {Timer1, Timer2, Timer3, Timer4, Timer5, Timer7, Timer8})
        t->setEnabled(false);
    if (MSComm1->isOpen())
        MSComm1->close();
    m_link.reset();
    hide();
    emit ended();
}

void Frmgrading::CheckControllerPort()
{
    static bool reporting = false;
    if (MSComm1->isOpen() || reporting || m_ended)
        return;
    reporting = true;
    showSystemMessage(ControllerErrorText, ControllerErrorTitle, QMessageBox::Critical);
    reporting = false;
    // Ends at once: no unload, the configuration is not saved, the software is not told.
    if (m_env.terminate)
        m_env.terminate(1);
    endProgram();
}

void Frmgrading::Timer3_Timer()
{
    StationState& s = stationState();
    if (!Image1->isEnabled())
        return;
    if (s.HealthCheckMinutes < 32767)
        ++s.HealthCheckMinutes;
    if (s.HealthCheckMinutes > s.CheckIntervalMinutes) {
        if (m_hooks.Image1_Click)
            m_hooks.Image1_Click();
        s.HealthCheckMinutes = 0;
    }
}

void Frmgrading::Timer4_Timer()
{
    StationState& s = stationState();
    if (s.WaitTicks < 32767)
        ++s.WaitTicks;
}

void Frmgrading::Timer8_Timer()
{
    StationState& s = stationState();
    s.BackgroundAgeMinutes = s.BackgroundAgeMinutes.plus(1);
    if (s.BackgroundAgeMinutes.toNumber() > s.CheckIntervalMinutes) {
        s.BackgroundDone = false;
        s.BackgroundAgeMinutes = 0;
    }
}

// ---- waits and questions

bool Frmgrading::TimedWait(int ticks, int intervalMs, const QString& text,
                           const std::function<void()>& beforeYield, const std::function<bool()>& abortIf)
{
    StationState& s = stationState();
    WaitFrame frame;
    frame.ticks = ticks;
    frame.intervalMs = intervalMs;
    frame.savedTicks = s.WaitTicks; // the outer wait's progress, restored when this one ends
    m_waitStack.push_back(frame);

    s.WaitTicks = 0;
    Timer4->setEnabled(false);
    Timer4->setInterval(intervalMs);
    Timer4->setEnabled(true);

    bool completed = true;
    while (s.WaitTicks < ticks) {
        if ((abortIf && abortIf()) || m_ended) {
            completed = false;
            break;
        }
        if (!text.isEmpty())
            setMsg(text);
        if (beforeYield)
            beforeYield();
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
        if ((abortIf && abortIf()) || m_ended) {
            completed = false;
            break;
        }
    }

    const WaitFrame done = m_waitStack.back();
    m_waitStack.pop_back();
    Timer4->setEnabled(false);
    if (m_waitStack.empty() || m_ended) {
        s.WaitTicks = 0;
    } else {
        s.WaitTicks = done.savedTicks;
        Timer4->setInterval(m_waitStack.back().intervalMs);
        Timer4->setEnabled(true);
    }
    return completed;
}

int Frmgrading::AskOperator(const QString& message, const QString& title)
{
    MsgBox_& box = MsgBox_::instance();
    box.centreOver(frameGeometry());
    return box.ShowMessage(message, 4, title);
}

// ---- screen states and console actions

void Frmgrading::LockConsole()
{
    for (QWidget* w :
         std::initializer_list<QWidget*>{Rough1, Splits1, Polish1, Polish2, Polish3, Polish4, Text8})
        w->setEnabled(false);
    loadPicture(Register, QStringLiteral("register.jpg"));
    loadPicture(Query, QStringLiteral("Query.jpg"));
    Register->setEnabled(false);
    Query->setEnabled(false);
    // A move or an initialisation from the settings strip would run nested in the sequence.
    for (QWidget* w : std::initializer_list<QWidget*>{Frame4, Command2, Command3})
        w->setEnabled(false);
}

void Frmgrading::UnlockConsole()
{
    const StationState& s = stationState();
    Text8->setEnabled(true);
    loadPicture(Register, s.RegisterActivity.equals(1) ? QStringLiteral("register1.jpg")
                                                       : QStringLiteral("register.jpg"));
    loadPicture(Query, s.QueryActivity == 1 ? QStringLiteral("Query1.jpg") : QStringLiteral("Query.jpg"));
    Register->setEnabled(true);
    Query->setEnabled(true);
    for (QWidget* w : std::initializer_list<QWidget*>{Frame4, Command2, Command3})
        w->setEnabled(true);
}

void Frmgrading::Image7_Click()
{
    Image2[1]->setEnabled(false);
    Image1->setEnabled(false);
    Image7->hide();
    if (stationState().ActivitySuffix == QLatin1String("_Q")) {
        if (m_hooks.Label_Q_Click)
            m_hooks.Label_Q_Click();
    } else if (m_hooks.Label_R_Click) {
        m_hooks.Label_R_Click();
    }
    if (m_ended)
        return;
    Image2[1]->setEnabled(true);
    Image1->setEnabled(true);
}

void Frmgrading::Form_KeyPress(int key)
{
    if (key == 27)
        stationState().EscapePressed = true;
}

bool Frmgrading::eventFilter(QObject* watched, QEvent* event)
{
    // The window sees every key first, whichever of its controls has the focus.
    if (event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && (widget == this || isAncestorOf(widget)) && widget->window() == this) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape && !key->isAutoRepeat())
                Form_KeyPress(27);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Frmgrading::keyPressEvent(QKeyEvent* event)
{
    QWidget::keyPressEvent(event);
}

void Frmgrading::Label11_Click()
{
    if (m_env.openUrl)
        m_env.openUrl(m_env.downloadUrl);
}

void Frmgrading::Label9_Click()
{
    const QString remembered = QDir::currentPath();
    const QString folder =
        QFileDialog::getExistingDirectory(this, QStringLiteral("Select a directory"), m_env.programFolder);
    if (!folder.isEmpty()) {
        const QString native = QDir::toNativeSeparators(folder);
        Label9->setText(native);
        stationState().DataFolder = native;
    }
    QDir::setCurrent(remembered);
    if (m_hooks.BuildMeasureSampleCommand)
        m_hooks.BuildMeasureSampleCommand();
}

void Frmgrading::Image3_Click()
{
    setMsg(QStringLiteral("Starting Machine"));
    const QString batch = programFile(QStringLiteral("VELORA1.bat"));
    if (!m_env.startDetached || !m_env.startDetached(batch, {}))
        setMsg1(QStringLiteral("Cannot start ") + batch);
    Frame4->hide();
    setMsg(QString());
}

void Frmgrading::Register_Click()
{
    StationState& s = stationState();
    Frame4->hide();
    loadPicture(Rough1, QStringLiteral("rough.jpg"));
    loadPicture(Splits1, QStringLiteral("Splits.jpg"));
    loadPicture(Polish1, QStringLiteral("Polish.jpg"));
    for (PictureBox* p : {Rough1, Splits1, Polish1})
        p->setEnabled(true);
    for (PictureBox* p : {Polish2, Polish3, Polish4})
        p->setEnabled(false);
    for (PictureBox* p : {Rough1, Polish1, Splits1})
        p->show();
    for (PictureBox* p : {Polish2, Polish3, Polish4})
        p->hide();
    const Twips tw(this);
    for (PictureBox* p : {Rough1, Polish1, Splits1})
        p->move(tw.x(2000), p->y());
    s.ActivitySuffix = QStringLiteral("_R");
    s.RegisterActivity = 1;
    s.QueryActivity = 0;
    loadPicture(Register, QStringLiteral("register1.jpg"));
    loadPicture(Query, QStringLiteral("Query.jpg"));
}

void Frmgrading::Query_Click()
{
    StationState& s = stationState();
    Frame4->hide();
    loadPicture(Rough1, QStringLiteral("Rough_Rough.jpg"));
    loadPicture(Splits1, QStringLiteral("Splits_Splits.jpg"));
    loadPicture(Polish1, QStringLiteral("Polish_Polish.jpg"));
    loadPicture(Polish2, QStringLiteral("Polish_Rough.jpg"));
    loadPicture(Polish3, QStringLiteral("Polish_Splits.jpg"));
    loadPicture(Polish4, QStringLiteral("Splits_Rough.jpg"));
    for (PictureBox* p : {Rough1, Splits1, Polish1, Polish2, Polish3, Polish4}) {
        p->setEnabled(true);
        p->show();
    }
    const Twips tw(this);
    for (PictureBox* p : {Rough1, Polish1, Splits1})
        p->move(tw.x(100), p->y());
    s.ActivitySuffix = QStringLiteral("_Q");
    s.QueryActivity = 1;
    s.RegisterActivity = 0;
    loadPicture(Register, QStringLiteral("register.jpg"));
    loadPicture(Query, QStringLiteral("Query1.jpg"));
}
