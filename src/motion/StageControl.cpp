#include "motion/StageControl.h"

#include "core/ConsoleModel.h"
#include "core/Operator.h"
#include "core/StationConsole.h"

#include "core/BlockingCall.h"
#include "core/NumberText.h"
#include "core/StationState.h"

#include <cmath>

namespace {

const QString kMovingInside = QStringLiteral("Moving Inside...Stage should be Inside");
const QString kMovingOutside = QStringLiteral("Moving Outside...Please Check Stage...");
const QString kInitialising = QStringLiteral("Intitalising ..Please wait for few seconds......");
const QString kInitialisingPassBegin = QStringLiteral(" Intialising ....  ");
const QString kInitialisingPassEnd = QStringLiteral("...!!!");
const QString kInitialisationDone = QStringLiteral("Initialization Done !!!");
const QString kCountOutOfRange = QStringLiteral("Count out of range - command not sent: ");

constexpr int kInitialiseTicks = 15;
constexpr int kInitialiseTickMs = 1000;
constexpr int kBannerTopTwips = 400;

bool isMoveLetters(const QString& text)
{
    static const QStringList moves{QStringLiteral("XF"), QStringLiteral("XR"), QStringLiteral("YF"),
                                   QStringLiteral("YR"), QStringLiteral("ZF"), QStringLiteral("ZR")};
    return moves.contains(text);
}

} // namespace

StageControl::StageControl(StationConsole& console, Operator& op, std::function<void()> connectAction)
    : m_console(console)
    , m_model(console.model())
    , m_operator(op)
    , m_connectAction(std::move(connectAction))
{
    connect(m_model.Command1, &ConsoleControl::clicked, this, [this] { Command1_Click(); });
    connect(m_model.Command6, &ConsoleControl::clicked, this, [this] { Command6_Click(); });
    connect(m_model.Command18, &ConsoleControl::clicked, this, [this] { Command18_Click(); });
    connect(m_model.Command19, &ConsoleControl::clicked, this, [this] { Command19_Click(); });
    connect(m_model.Command2, &ConsoleControl::clicked, this, [this] { Command2_Click(); });
    connect(m_model.Command3, &ConsoleControl::clicked, this, [this] { Command3_Click(); });
    connect(m_model.Command4, &ConsoleControl::clicked, this, [this] { Command4_Click(); });
    connect(m_model.Image8, &ConsoleControl::clicked, this, [this] { Image8_Click(); });
    connect(m_model.Image5, &ConsoleControl::clicked, this, [this] { Image5_Click(); });
    connect(m_model.Image9, &ConsoleControl::clicked, this, [this] { Image9_Click(); });
    connect(m_model.Image2[0], &ConsoleControl::clicked, this, [this] { Image2_Click(0); });
    connect(m_model.Image2[1], &ConsoleControl::clicked, this, [this] { Image2_Click(1); });
    connect(m_console.Timer2, &StationTimer::timeout, this, [this] { Timer2_Timer(); });
    connect(m_console.Timer7, &StationTimer::timeout, this, [this] { Timer7_Timer(); });

    SerialLine* port = console.MSComm1;
    // A flooding controller must not grow the station's memory between two drains: once the
    // buffer is full the port stops reading until the next drain.
    port->setReadBufferSize(kReceiveBufferBytes);
    connect(port, &SerialLine::readyRead, this, [this] { MSComm1_OnComm(); });
    connect(port, &SerialLine::faulted, this, [this](SerialLine::Fault fault) { handleError(fault); });
}

QString StageControl::countOf(const ConsoleControl* box)
{
    const double value = NumberText::parseLeading(box ? box->text() : QString());
    if (!std::isfinite(value))
        return QString();
    return NumberText::format(value);
}

bool StageControl::writeCommand(const QString& text)
{
    if (isMoveLetters(text)) {
        refuseCount(text);
        return false;
    }
    SerialLine* port = m_console.MSComm1;
    if (!port || !port->isOpen())
        return false;
    const QByteArray bytes = text.toLatin1();
    if (port->write(bytes) != bytes.size())
        return false;
    // Hand the command to the line now, so each command is its own write and nothing waits for
    // the event loop; flush does not block.
    port->flush();
    return true;
}

void StageControl::refuseCount(const QString& letters)
{
    m_model.setMsg(kCountOutOfRange + letters);
}

bool StageControl::sendMove(const QString& letters, const ConsoleControl* box)
{
    return writeCommand(letters + countOf(box));
}

void StageControl::setStageIndicator(bool enable18, bool enable19)
{
    // The pictures on the settings strip follow the two buttons.
    m_model.Command18->setEnabled(enable18);
    m_model.Command19->setEnabled(enable19);
    m_model.Image8->setVisible(enable18);
    m_model.Image5->setVisible(enable19);
}

void StageControl::Command1_Click()
{
    sendMove(QStringLiteral("XF"), m_model.Text1);
}

void StageControl::Command6_Click()
{
    sendMove(QStringLiteral("XR"), m_model.Text4);
}

void StageControl::Command18_Click()
{
    const QString count = countOf(m_model.Text12);
    if (count.isEmpty()) {
        // Nothing moves, so the indicator keeps telling where the stage is.
        refuseCount(QStringLiteral("YF"));
        return;
    }
    writeCommand(QStringLiteral("YF") + count);
    m_model.setMsg(kMovingInside);
    setStageIndicator(false, true);
}

void StageControl::Command19_Click()
{
    const QString count = countOf(m_model.Text13);
    if (count.isEmpty()) {
        refuseCount(QStringLiteral("YR"));
        return;
    }
    writeCommand(QStringLiteral("YR") + count);
    m_model.setMsg(kMovingOutside);
    setStageIndicator(true, false);
}

void StageControl::Command2_Click()
{
    sendMove(QStringLiteral("ZF"), m_model.Text2);
}

void StageControl::Command3_Click()
{
    sendMove(QStringLiteral("ZR"), m_model.Text3);
}

void StageControl::Command4_Click()
{
    // A second initialisation nested in the first would restart the controller mid-way and share
    // the wait counter; the running one already does what was asked.
    if (m_initialising)
        return;
    m_initialising = true;

    m_model.Image8->hide();
    m_model.Image5->hide();
    m_model.Command4->setEnabled(false);
    m_model.Command18->setEnabled(false);
    m_model.Command19->setEnabled(false);
    m_model.Command7->setEnabled(false);

    writeCommand(QStringLiteral("I"));
    m_model.setMsg(kInitialising);

    m_operator.TimedWait(kInitialiseTicks, kInitialiseTickMs, QString(), [this] {
        m_model.setMsg(kInitialisingPassBegin + QString::number(stationState().WaitTicks) +
                       kInitialisingPassEnd);
    });
    // The watchdog or the close picture may have ended the program while we waited.
    if (m_console.hasEnded()) {
        m_initialising = false;
        return;
    }

    Command2_Click();
    m_model.setMsg(kInitialisationDone);

    m_model.Command7->setEnabled(true);
    m_model.Command18->setEnabled(false);
    m_model.Command19->setEnabled(true);
    m_model.Image8->hide();
    m_model.Image5->show();
    m_model.Command4->setEnabled(true);

    m_model.Text8->hide();
    m_model.Image7->hide();
    m_initialising = false;

    if (m_connectAction)
        m_connectAction();
}

void StageControl::Image8_Click()
{
    Command18_Click();
}

void StageControl::Image5_Click()
{
    Command19_Click();
}

void StageControl::Image9_Click()
{
    Command4_Click();
    m_model.Frame4->hide();
}

void StageControl::Image2_Click(int index)
{
    if (index == 0) {
        m_model.requestClose();
        return;
    }
    if (index != 1)
        return;
    const bool show = m_model.Frame4->isHidden();
    m_model.Frame4->setVisible(show);
    m_model.Text2->setVisible(show);
    m_model.Text3->setVisible(show);
    m_model.Command2->setVisible(show);
    m_model.Command3->setVisible(show);
}

void StageControl::Timer7_Timer()
{
    if (m_initialising)
        return;
    m_model.Image6->moveTop(kBannerTopTwips);
    m_model.Image6->raise();
    m_model.Image6->show();
    Command4_Click();
    m_console.Timer7->setEnabled(false);
    m_model.Image6->hide();
}

void StageControl::Timer2_Timer()
{
    QString received;
    HandleInput1(received);
    // The controller's replies are not used: the text is dropped here.
}

void StageControl::HandleInput1(QString& text)
{
    SerialLine* port = m_console.MSComm1;
    if (!port || !port->isOpen()) {
        text.clear();
        return;
    }
    text = QString::fromLatin1(port->readAll());
}

void StageControl::MSComm1_OnComm()
{
    // Received text waits for the next drain; line events change nothing.
}

void StageControl::handleError(SerialLine::Fault fault)
{
    // The device went away (cable pulled, adapter gone): the port then reports read or resource
    // errors on every turn of the event loop. Close it, so the watchdog reports the lost controller
    // instead of the station spinning on a dead line. Closing waits for the event loop, outside the
    // port's own notification.
    if (fault == SerialLine::Fault::Other)
        return;
    if (m_closePending || !m_console.MSComm1->isOpen())
        return;
    m_closePending = true;
    BlockingCall::whenFree(this, [this] {
        m_closePending = false;
        if (m_console.MSComm1->isOpen())
            m_console.MSComm1->close();
    });
}
