#include "WineBridge.h"

#include "SimController.h"
#include "SimServer.h"
#include "SimSpectrometer.h"
#include "core/StationState.h"
#include "support/DialogDriver.h"
#include "support/SimBench.h"
#include "ui/Frmgrading.h"
#include "ui/PictureBox.h"
#include "ui/TextBox.h"
#include "workflows/StoneWorkflows.h"

#include <QCoreApplication>
#include <QFile>
#include <QKeyEvent>
#include <QPushButton>

#include <gtest/gtest.h>

#include <map>

namespace {

constexpr int Yes = DialogDriver::Yes;

// What the peers saw in one run, with the run's temporary folder written as <folder>.
struct PeerRecords
{
    QStringList controller;
    QStringList requests;                // method, target and body of each
    QStringList spectrometer;            // the station's lines to the software, CONNECT and TIMEOUT excepted
    std::map<QString, QByteArray> files; // backup and data folders
    QStringList msgs;
    QStringList asked;
    size_t registrations = 0;
    size_t queries = 0;
};

void scanStoneId(Frmgrading& w, const QString& text)
{
    w.Text8->setText(text);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(w.Text8, &press);
}

// The station on the simulated bench with its spectrometer link at linkAddress (empty: the simulated
// software): a rough registration, then a query of the same stone. spectrometerLines reads what the
// software received.
PeerRecords registerAndQuery(const QString& linkAddress,
                             const std::function<QStringList(SimBench&)>& spectrometerLines)
{
    PeerRecords records;
    SimBench::Options options;
    options.timeScale = 0.002;
    options.spectrometerLinkAddress = linkAddress;
    SimBench bench(options);
    if (!bench.start(60000)) {
        ADD_FAILURE() << "bench: " << bench.error().toStdString();
        return records;
    }
    const qsizetype linesBefore = spectrometerLines(bench).size();
    DialogDriver driver;
    Frmgrading& w = bench.window();

    emit w.Register->clicked();
    emit w.Rough1->clicked();
    driver.expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
        .expect("Move Inside?", "Moving Inside", Yes)
        .expect("Have you moved the stone physically ?", "Arm Moving Outside", Yes);
    scanStoneId(w, QStringLiteral("LOT123-05#7-2"));

    driver.expect("Move Inside?", "Arm Moving Inside", Yes);
    emit w.Query->clicked();
    emit w.Rough1->clicked();
    driver.expect("Have you Placed the stone ?", "Place the Stone", Yes)
        .expect("Move Inside?", "Arm Moving Inside", Yes);
    scanStoneId(w, QStringLiteral("LOT123-05#7-2"));
    // The last stage commands complete on the controller's pauses.
    SimBench::pumpUntil([] { return false; }, 300);

    EXPECT_EQ(driver.pending(), 0);
    EXPECT_TRUE(driver.unexpected().isEmpty()) << driver.unexpected().join('\n').toStdString();
    const QString folder = bench.programFolder();
    auto normalised = [&folder](QString text) { return text.replace(folder, QStringLiteral("<folder>")); };
    records.controller = bench.controller().commandTexts() + bench.controller().rejectedTexts();
    for (const SimRecordedRequest& r : bench.server().requests())
        records.requests << normalised(QString::fromStdString(r.method + " " + r.target + "\n" + r.body));
    // What only one side sees: the bridge's DDE housekeeping, the station's TIMEOUT meant for the bridge.
    for (const QString& line : spectrometerLines(bench).mid(linesBefore))
        if (!line.startsWith(QLatin1String("CONNECT ")) && !line.startsWith(QLatin1String("UNADVISE ")) &&
            !line.startsWith(QLatin1String("TIMEOUT ")) && line != QLatin1String("TERMINATE"))
            records.spectrometer << normalised(line);
    for (const QString& dir : {bench.backupFolder(), bench.dataFolder()})
        for (const QString& name : SimBench::filesIn(dir)) {
            QFile file(dir + QLatin1Char('/') + name);
            if (file.open(QIODevice::ReadOnly))
                records.files[normalised(file.fileName())] = file.readAll();
        }
    for (const QString& text : bench.msgTexts())
        records.msgs << normalised(text);
    for (const DialogDriver::Asked& asked : driver.asked())
        records.asked << asked.message;
    records.registrations = bench.server().registrations().size();
    records.queries = bench.server().queries().size();
    return records;
}

TEST(BridgeWorkflowTest, RegistrationAndQueryThroughBridgeMatchTheSimulatedSoftware)
{
    const QString reason = WineBridge::unavailableReason();
    if (!reason.isEmpty())
        GTEST_SKIP() << reason.toStdString();

    const PeerRecords direct =
        registerAndQuery(QString(), [](SimBench& bench) { return bench.spectrometer().receivedLines(); });
    ASSERT_EQ(direct.registrations, 1u);
    ASSERT_EQ(direct.queries, 1u);
    ASSERT_GE(direct.spectrometer.size(), 16);
    ASSERT_GE(direct.files.size(), 16u);
    ASSERT_GE(direct.controller.size(), 12);
    ASSERT_GE(direct.requests.size(), 20);

    WineBridge wine;
    ASSERT_TRUE(wine.startDouble()) << wine.error().toStdString();
    ASSERT_TRUE(wine.startBridge()) << wine.error().toStdString();
    const PeerRecords bridged =
        registerAndQuery(wine.address(), [&wine](SimBench&) { return wine.recorded(); });

    EXPECT_EQ(bridged.controller, direct.controller);
    EXPECT_EQ(bridged.requests, direct.requests);
    EXPECT_EQ(bridged.spectrometer, direct.spectrometer);
    EXPECT_EQ(bridged.msgs, direct.msgs);
    EXPECT_EQ(bridged.asked, direct.asked);
    EXPECT_EQ(bridged.registrations, 1u);
    EXPECT_EQ(bridged.queries, 1u);
    ASSERT_EQ(bridged.files.size(), direct.files.size());
    for (const auto& [name, bytes] : direct.files) {
        const auto found = bridged.files.find(name);
        ASSERT_NE(found, bridged.files.end()) << name.toStdString();
        EXPECT_TRUE(found->second == bytes) << name.toStdString() << " differs";
    }
}

} // namespace
