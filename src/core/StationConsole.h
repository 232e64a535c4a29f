#pragma once

#include "core/Clock.h"
#include "core/StationConfigFile.h"
#include "core/StationEnvironment.h"
#include "core/StationTimer.h"

#include <QObject>

#include <functional>
#include <memory>
#include <vector>

class ConsoleControl;
class ConsoleModel;
class ConsoleStatus;
class Operator;
class SerialLine;
class SpectrometerLink;

// The console's own procedures, on its model: start-up and shutdown, the configuration file, the
// window's timers, the waits, the screen states and the console's own clicks. The subsystems reach
// the console through it; none of it needs a window.
class StationConsole : public QObject
{
    Q_OBJECT
public:
    // What the console must start in higher layers.
    struct Hooks
    {
        std::function<void(const QString& topic)> connectToServer; // spectrometer link
        std::function<void()> Image1_Click;                        // health check
        std::function<void()> Label_R_Click;                       // registration sequence
        std::function<void()> Label_Q_Click;                       // query sequence
        // Asked before the window unloads; false keeps the window open.
        std::function<bool()> confirmUnload;
        // Rebuilds the measure-sample command after the data folder changed.
        std::function<void()> BuildMeasureSampleCommand;
    };

    StationConsole(StationEnvironment environment, ConsoleModel& model, QObject* parent = nullptr);
    ~StationConsole() override;

    // Who answers the console's questions and boxes; set once, before Form_Load.
    void setOperator(Operator& op) { m_operator = &op; }
    Operator& op() const { return *m_operator; }
    ConsoleModel& model() const { return m_model; }
    const StationEnvironment& environment() const { return m_env; }
    const Clock& clock() const { return m_clock; }
    Hooks& hooks() { return m_hooks; }
    SpectrometerLink* link() const { return m_link.get(); }
    // The wait of a call in flight and the progress of a sequence, beside the designed controls.
    ConsoleStatus& status() const { return *m_status; }

    // Start-up and shutdown
    void Form_Load();
    void Form_Unload();
    // The operator closes the window: false keeps it open.
    bool requestUnload();
    void LoadStationConfig();
    void SaveStationConfig();
    void CheckControllerPort();
    void Timer3_Timer();
    void Timer4_Timer();
    void Timer8_Timer();
    // Runs the program's command line, if any, minimised without waiting.
    void runCommandLine();
    bool hasEnded() const { return m_ended; }

    // Screen states and console actions
    void LockConsole();
    void UnlockConsole();
    void Image7_Click();
    void Form_KeyPress(int key);
    void Label11_Click();
    void Label9_Click();
    void Image3_Click();
    void Register_Click();
    void Query_Click();

    // The event loop's timed wait (see Operator::TimedWait), on Timer4 and WaitTicks.
    bool TimedWait(int ticks, int intervalMs = 1000, const QString& text = QString(),
                   const std::function<void()>& beforeYield = {}, const std::function<bool()>& abortIf = {});
    bool isWaiting() const { return !m_waitStack.empty(); }

    // Message lines: always set whole.
    void setMsg(const QString& text);
    void setMsg1(const QString& text);
    QString msgText() const;
    QString msg1Text() const;

    // Loads a picture file from the program's folder ("\register.jpg" style names accepted).
    bool loadPicture(ConsoleControl* picture, const QString& name);
    QString programFile(const QString& name) const;

    SerialLine* MSComm1 = nullptr;

    StationTimer* Timer1 = nullptr;
    StationTimer* Timer2 = nullptr;
    StationTimer* Timer3 = nullptr;
    StationTimer* Timer4 = nullptr;
    StationTimer* Timer5 = nullptr;
    StationTimer* Timer7 = nullptr;
    StationTimer* Timer8 = nullptr;

signals:
    // The program has ended (after the unload procedure, or by the controller watchdog).
    void ended();

private:
    struct WaitFrame
    {
        int ticks = 0;
        int intervalMs = 1000;
        qint16 savedTicks = 0;
    };

    void endProgram();

    StationEnvironment m_env;
    ConsoleModel& m_model;
    Operator* m_operator = nullptr;
    Clock m_clock;
    Hooks m_hooks;
    std::unique_ptr<SpectrometerLink> m_link;
    ConsoleStatus* m_status = nullptr;
    std::vector<WaitFrame> m_waitStack;
    bool m_unloading = false;
    bool m_ended = false;
    StationConfigFile::Encoding m_configEncoding = StationConfigFile::Encoding::Windows1252;
};
