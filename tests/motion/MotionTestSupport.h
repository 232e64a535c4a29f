#pragma once

#include "SimController.h"
#include "core/StationEnvironment.h"
#include "core/StationState.h"
#include "motion/StageControl.h"
#include "support/TestConsole.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPushButton>
#include "core/SerialLine.h"
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

// Runs the event loop until pred holds or timeoutMs of real time passed.
inline bool pumpUntil(const std::function<bool()>& pred, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

inline void pumpFor(int ms)
{
    pumpUntil([] { return false; }, ms);
}

// The stage indicator as the four controls show it.
struct StageRow
{
    bool command18 = false;
    bool command19 = false;
    bool image8 = false;
    bool image5 = false;

    static StageRow of(const TestConsole& w)
    {
        return {w.model.Command18->isEnabled(), w.model.Command19->isEnabled(), !w.model.Image8->isHidden(),
                !w.model.Image5->isHidden()};
    }
    bool operator==(const StageRow&) const = default;
};

inline void PrintTo(const StageRow& r, std::ostream* os)
{
    *os << "{18:" << r.command18 << " 19:" << r.command19 << " img8:" << r.image8 << " img5:" << r.image5
        << "}";
}

inline const StageRow kRowStart{true, true, true, true};
inline const StageRow kRowInside{false, true, false, true};
inline const StageRow kRowOutside{true, false, true, false};
inline const StageRow kRowBusy{false, false, false, false};
inline const StageRow kRowInitialised{false, true, false, true};

// A console in scaled time whose controller port is a simulated controller on a pseudo-terminal.
class LiveStage : public ::testing::Test
{
protected:
    static constexpr double kTimeScale = 0.001;

    void SetUp() override
    {
        stationState() = StationState{};
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(sim.start()) << sim.errorString().toStdString();
        StationEnvironment env;
        env.programFolder = folder.path();
        env.backupFolder = folder.filePath(QStringLiteral("backup"));
        const QString device = sim.devicePath();
        env.resolveSerialPort = [device](int) { return device; };
        env.timeScale = kTimeScale;
        env.terminate = [this](int code) { terminations << code; };
        env.startDetached = [](const QString&, const QStringList&) { return true; };
        env.openUrl = [](const QString&) {};
        w = std::make_unique<TestConsole>(env);
        stage = std::make_unique<StageControl>(w->console, w->op, [this] {
            ++connects;
            if (onConnect)
                onConnect();
        });
    }

    void TearDown() override
    {
        stage.reset();
        w.reset();
        sim.stop();
    }

    // The port as the console's load procedure opens it, without the rest of the start-up.
    void openPort()
    {
        SerialLine* port = w->console.MSComm1;
        port->setPortName(sim.devicePath());
        ASSERT_TRUE(port->open()) << port->errorString().toStdString();
    }

    // What the controller received while op ran, once expected commands arrived.
    QStringList received(const std::function<void()>& op, int expected)
    {
        sim.clearLog();
        op();
        sim.waitForCommands(expected, 2000);
        return sim.commandTexts();
    }

    QTemporaryDir folder;
    SimController sim{kTimeScale};
    std::unique_ptr<TestConsole> w;
    std::unique_ptr<StageControl> stage;
    int connects = 0;
    std::function<void()> onConnect;
    QList<int> terminations;
};
