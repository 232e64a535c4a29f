#pragma once

#include "SimController.h"
#include "SimServer.h"
#include "SimSpectrometer.h"
#include "core/ConsoleModel.h"
#include "core/StationConsole.h"
#include "core/StationState.h"
#include "support/DialogDriver.h"
#include "support/SimBench.h"
#include "workflows/StoneWorkflows.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QPushButton>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// One station on the simulated bench per test, with helpers for the operator's gestures and for
// reading what the peers received.
class WorkflowBench : public ::testing::Test
{
protected:
    static constexpr int Yes = DialogDriver::Yes;
    static constexpr int No = DialogDriver::No;

    static inline const QString kOpus = QStringLiteral("C:\\Users\\Public\\Documents\\Bruker\\OPUS_8.8.4");

    void SetUp() override { startBench(SimBench::Options{}); }

    // The station runs without its window unless the suite asks for it.
    void startBench(SimBench::Options options)
    {
        options.withWindow = windowed;
        bench = std::make_unique<SimBench>(options);
        ASSERT_TRUE(bench->start()) << bench->error().toStdString();
        driver = std::make_unique<DialogDriver>();
    }

    void TearDown() override
    {
        driver.reset();
        bench.reset();
    }

    // The console's controls and procedures.
    ConsoleModel& w() { return bench->model(); }
    StationConsole& console() { return bench->console(); }
    StoneWorkflows& flows() { return bench->workflows(); }
    StationState& s() { return stationState(); }
    QString data() const { return QDir::toNativeSeparators(bench->dataFolder()); }

    // The operator's gestures, through the controls' own signals and events.
    void chooseRegister() { emit w().Register->clicked(); }
    void chooseQuery() { emit w().Query->clicked(); }
    void clickMode(ConsoleControl* picture) { picture->click(); }
    void scanStoneId(const QString& text)
    {
        w().Text8->setText(text);
        w().Text8->pressEnter();
    }
    // Escape as the operator presses it while the station waits: it is handled once the station
    // takes input again.
    void postEscape()
    {
        QMetaObject::invokeMethod(
            &console(), [this] { console().Form_KeyPress(27); }, Qt::QueuedConnection);
    }

    // Selects a mode with its background and forgets what that sent.
    void selectMode(bool registration, ConsoleControl* picture)
    {
        registration ? chooseRegister() : chooseQuery();
        clickMode(picture);
        ASSERT_TRUE(s().BackgroundDone);
        settleController();
        bench->clearRecords();
    }
    // The controller takes a command as complete only after a quiet moment on its line: what the
    // station wrote (the selection's retract, the run's before it) must be in before records are cleared.
    void settleController()
    {
        qsizetype seen = -1;
        QElapsedTimer quiet;
        SimBench::pumpUntil(
            [&] {
                const qsizetype n = controllerCommands().size();
                if (n != seen) {
                    seen = n;
                    quiet.restart();
                }
                return quiet.elapsed() >= 100;
            },
            3000);
    }

    // A server fault that only changes the answer's status.
    static SimFault answerWith(int status)
    {
        SimFault fault;
        fault.status = status;
        return fault;
    }

    // What the peers received.
    QStringList controllerCommands() const { return bench->controller().commandTexts(); }
    // The port writes from the event loop and the controller completes a command on a pause, so the
    // loop runs until n commands are in, then a little longer to catch any extra one.
    bool controllerReceived(int n)
    {
        const bool arrived =
            SimBench::pumpUntil([this, n] { return controllerCommands().size() >= n; }, 3000);
        SimBench::pumpUntil([] { return false; }, 30);
        return arrived;
    }
    QStringList spectrometerCommands() const { return bench->spectrometer().advisedItems(); }
    QStringList requestPaths() const
    {
        QStringList paths;
        for (const SimRecordedRequest& r : bench->server().requests())
            paths << QString::fromStdString(r.path);
        return paths;
    }
    std::vector<SimRecordedRequest> requestsTo(const char* path) const
    {
        return bench->server().requestsTo(path);
    }

    // The spectrometer commands of one measurement, as the software receives them.
    QString sampleName(const QString& lot, int index, const QString& suffix) const
    {
        return QStringLiteral("%1-1%2%3.0").arg(lot).arg(index + 1, 2, 10, QLatin1Char('0')).arg(suffix);
    }
    QStringList measurementCommands(const QString& lot, int index, const QString& experiment,
                                    const QString& suffix) const
    {
        const QString sample = sampleName(lot, index, suffix);
        const QString base = sample.chopped(2);
        const QString measured = data() + QLatin1Char('\\') + sample;
        return {QStringLiteral("MeasureSample (0, {EXP='") + experiment + QStringLiteral("', 'XPP='") +
                    kOpus + QStringLiteral("\\Instruments\\Alpha II\\XPM', NAM='") + sample +
                    QStringLiteral("' ,PTH='") + data() + QStringLiteral("'})"),
                QStringLiteral("SAVEAS ([\"") + measured + QStringLiteral("\":AB],{DAP='") + data() +
                    QStringLiteral("', OEX='0', SAN='") + base + QStringLiteral(".dpt' , COF=64, INP='") +
                    kOpus + QStringLiteral("\\Methods' ,SEP=',', YON='0', ADP='1', X64='1'})"),
                QStringLiteral("UNLOAD_FILE ") + measured};
    }
    QString backgroundCommand(const QString& experiment) const
    {
        return QStringLiteral("MeasureReference (0, {EXP='") + experiment + QStringLiteral("', XPP='") +
               kOpus + QStringLiteral("\\Instruments\\Alpha II\\XPM' ,NSS=0})");
    }
    // The .0 and .dpt files of scans 1..n.
    QStringList spectrumFiles(const QString& lot, int n, const QString& suffix) const
    {
        QStringList files;
        for (int i = 0; i < n; ++i) {
            const QString sample = sampleName(lot, i, suffix);
            files << sample << sample.chopped(2) + QStringLiteral(".dpt");
        }
        files.sort();
        return files;
    }

    bool windowed = false;
    std::unique_ptr<SimBench> bench;
    std::unique_ptr<DialogDriver> driver;
};

// True when every text of expected appears in actual, in this order (others may lie between).
inline ::testing::AssertionResult appearInOrder(const QStringList& actual, const QStringList& expected)
{
    qsizetype at = 0;
    for (const QString& text : expected) {
        const qsizetype found = actual.indexOf(text, at);
        if (found < 0)
            return ::testing::AssertionFailure()
                   << "missing (in order): \"" << text.toStdString() << "\"\nactual:\n  "
                   << actual.join(QStringLiteral("\n  ")).toStdString();
        at = found + 1;
    }
    return ::testing::AssertionSuccess();
}

inline QString qs(const std::string& text)
{
    return QString::fromStdString(text);
}
