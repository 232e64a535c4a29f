#pragma once

#include <QObject>
#include "core/SerialLine.h"
#include <QString>

#include <functional>

class ConsoleModel;
class Operator;
class StationConsole;
class ConsoleControl;

// The manual motion panel, the motion operations the sequences reuse and the serial link to the
// motion controller. Commands are written and the caller goes on at once; the stage position is
// remembered only by which stage buttons are enabled.
class StageControl : public QObject
{
    Q_OBJECT
public:
    // connectAction: the spectrometer "Connect" action, run at the end of every initialisation.
    StageControl(StationConsole& console, Operator& op, std::function<void()> connectAction);

    // Manual panel and stage moves
    void Command1_Click();  // rotate forward: "XF" + count of Text1
    void Command6_Click();  // rotate back: "XR" + count of Text4
    void Command18_Click(); // move inside: "YF" + count of Text12
    void Command19_Click(); // retract: "YR" + count of Text13
    void Command2_Click();  // up: "ZF" + count of Text2
    void Command3_Click();  // down: "ZR" + count of Text3
    void Command4_Click();  // initialise all motors (15 ticks); does nothing while one runs
    void Image8_Click();
    void Image5_Click();
    void Image9_Click();
    void Image2_Click(int index);
    void Timer7_Timer();
    bool isInitialising() const { return m_initialising; }

    // Serial link
    void Timer2_Timer();
    void HandleInput1(QString& text);
    void MSComm1_OnComm();
    // One write of exactly these characters. False when the port is closed or the command has no
    // count (a count box out of range); nothing else happens then.
    bool writeCommand(const QString& text);

    // A count box read as a number and written back in its shortest form ("" when the number is
    // beyond the representable range, which no command may carry).
    static QString countOf(const ConsoleControl* box);

    // Receive buffer of the port: a controller that floods the line fills it and then waits.
    static constexpr qint64 kReceiveBufferBytes = 4096;

private:
    bool sendMove(const QString& letters, const ConsoleControl* box);
    void refuseCount(const QString& letters);
    void setStageIndicator(bool inside, bool outside);
    void handleError(SerialLine::Fault fault);

    StationConsole& m_console;
    ConsoleModel& m_model;
    Operator& m_operator;
    std::function<void()> m_connectAction;
    bool m_initialising = false;
    bool m_closePending = false;
};
