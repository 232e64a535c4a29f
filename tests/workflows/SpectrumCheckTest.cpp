#include "WorkflowBench.h"

#include "app/Station.h"
#include "core/JournalReader.h"
#include "quality/DataPointFile.h"
#include "quality/SpectrumCheck.h"
#include "ui/Frmgrading.h"
#include "ui/SpectrumWindow.h"

#include <QFile>
#include <QJsonArray>
#include <QLabel>

namespace {

using Fault = SimSpectrometer::ScanFault;

// The spectrum checks on the simulated bench: each bad scan of a registration or a query is caught
// after its save, not uploaded, and measured again at the same position.
class SpectrumCheckTest : public WorkflowBench
{
protected:
    void SetUp() override {}

    void startWithChecks(bool on)
    {
        SimBench::Options options;
        options.spectrumChecks.mode =
            on ? SpectrumCheckSettings::Mode::Ask : SpectrumCheckSettings::Mode::Off;
        startBench(options);
    }

    // Registers or queries a polished stone (6 scans); the third scan is measured with fault.
    void runWithFault(bool registration, Fault fault, int answer, const char* title)
    {
        selectMode(registration, w().Polish1);
        bench->spectrometer().setScanFault(fault, 2);
        if (registration)
            driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
                .expect("Move Inside?", "Moving Inside", Yes);
        else
            driver->expect("Have you Placed the stone ?", "Place the Stone", Yes)
                .expect("Move Inside?", "Arm Moving Inside", Yes);
        if (title)
            driver->expect("Spectrum check failed - measure again ?", title, answer);
        scanStoneId(QStringLiteral("Q-7"));
    }

    // The spectra the server received, as files.
    std::vector<std::string> uploadedPoints(bool registration) const
    {
        std::vector<std::string> points;
        if (registration) {
            for (const auto& r : bench->server().registrations())
                for (const auto& scan : r.scans)
                    points.push_back(scan.points);
        } else {
            for (const auto& t : bench->server().transactions())
                points.push_back(t.points);
        }
        return points;
    }

    QList<QJsonObject> scanRecords() const
    {
        QList<JournalReader::Line> lines;
        QStringList problems;
        const JournalReader reader(bench->journalFolder());
        for (const QString& path : reader.dayFiles()) {
            QString error;
            reader.read(path, &lines, &problems, &error);
        }
        QList<QJsonObject> scans;
        for (const auto& line : lines)
            if (line.record.value("event") == QLatin1String("scan"))
                scans << line.record;
        return scans;
    }

    int measurements() const
    {
        return int(spectrometerCommands().filter(QStringLiteral("MeasureSample")).size());
    }
};

TEST_F(SpectrumCheckTest, EachBadScanIsCaughtAndMeasuredAgain)
{
    const struct
    {
        Fault fault;
        const char* title;
        const char* message;
        const char* finding;
    } cases[] = {
        {Fault::EmptyStage, "No diamond band", "Spectrum check: no diamond band - is the stone on the stage?",
         "no-band"},
        {Fault::OffBeam, "No diamond band", "Spectrum check: no diamond band - is the stone on the stage?",
         "no-band"},
        {Fault::Saturated, "Band saturated",
         "Spectrum check: band saturated - too little light through the stone", "saturated"},
        {Fault::Noisy, "Spectrum too noisy", "Spectrum check: too noisy - is the beam partly blocked?",
         "noisy"},
        {Fault::Slipped, "Unlike the earlier scans",
         "Spectrum check: unlike the earlier scans - has the stone slipped?", "disagrees"},
    };
    for (bool registration : {true, false})
        for (const auto& c : cases) {
            SCOPED_TRACE(std::string(registration ? "registration, " : "query, ") + c.finding);
            startWithChecks(true);
            runWithFault(registration, c.fault, Yes, c.title);

            EXPECT_EQ(driver->pending(), 0);
            EXPECT_TRUE(driver->unexpected().isEmpty()) << driver->unexpected().join('\n').toStdString();
            EXPECT_EQ(measurements(), 7) << "the third position twice";
            ASSERT_TRUE(controllerReceived(10));
            // In, out for the operator and in again at the third scan, six turns, out at the end.
            EXPECT_EQ(controllerCommands(), QStringList({"YF300", "XF67", "XF67", "YR300", "YF300", "XF67",
                                                         "XF67", "XF67", "XF67", "YR300"}));
            const auto points = uploadedPoints(registration);
            ASSERT_EQ(points.size(), 6u) << "the bad scan never reached the server";
            for (const std::string& p : points)
                EXPECT_TRUE(checkSpectrum(parseDataPoints(p).spectrum, SpectrumLimits{}).passed());
            EXPECT_TRUE(bench->msg1Texts().filter(QString::fromUtf8(c.message)).size() >= 1)
                << bench->msg1Texts().join('\n').toStdString();

            const QList<QJsonObject> scans = scanRecords();
            ASSERT_EQ(scans.size(), 7);
            const QJsonObject bad = scans[2];
            EXPECT_EQ(bad.value("scan").toInt(), 3);
            EXPECT_FALSE(bad.contains("status")) << "not uploaded";
            const QJsonObject check = bad.value("check").toObject();
            EXPECT_EQ(check.value("verdict"), QStringLiteral("failed"));
            EXPECT_TRUE(check.value("findings").toArray().contains(QString::fromUtf8(c.finding)));
            EXPECT_EQ(check.value("answer"), QStringLiteral("measured again"));
            EXPECT_TRUE(check.contains("bandHeight") && check.contains("noise"));
            for (int i : {0, 1, 3, 4, 5, 6}) {
                EXPECT_EQ(scans[i].value("status").toInt(), 201) << i;
                EXPECT_EQ(scans[i].value("check").toObject().value("verdict"), QStringLiteral("passed")) << i;
            }
            EXPECT_EQ(scans[3].value("scan").toInt(), 3) << "the same position measured again";
            EXPECT_EQ(scans[1].value("check").toObject().contains("similarity"), true);
            EXPECT_EQ(scans[0].value("check").toObject().contains("similarity"), false);
        }
}

// No: the scan goes to the server as it is; with the checks off nothing is asked and nothing added.
TEST_F(SpectrumCheckTest, NoUploadsTheScanAndChecksOffChangeNothing)
{
    for (bool on : {true, false}) {
        SCOPED_TRACE(on ? "checks ask, answered No" : "checks off");
        startWithChecks(on);
        runWithFault(true, Fault::EmptyStage, No, on ? "No diamond band" : nullptr);
        EXPECT_EQ(driver->pending(), 0);
        EXPECT_TRUE(driver->unexpected().isEmpty()) << driver->unexpected().join('\n').toStdString();
        EXPECT_EQ(measurements(), 6);
        const auto points = uploadedPoints(true);
        ASSERT_EQ(points.size(), 6u);
        EXPECT_FALSE(checkSpectrum(parseDataPoints(points[2]).spectrum, SpectrumLimits{}).passed());
        ASSERT_TRUE(controllerReceived(on ? 9 : 7));
        EXPECT_EQ(controllerCommands().count("YR300"), on ? 2 : 1);
        const QList<QJsonObject> scans = scanRecords();
        ASSERT_EQ(scans.size(), 6);
        for (const QJsonObject& scan : scans)
            EXPECT_EQ(scan.contains("check"), on);
        if (on) {
            EXPECT_EQ(scans[2].value("check").toObject().value("answer"),
                      QStringLiteral("uploaded as it is"));
        }
        EXPECT_EQ(scans[2].value("status").toInt(), 201);
        EXPECT_EQ(bench->msg1Texts().join('\n').contains("Spectrum check"), on);
    }
}

// Escape while the check's question is open: the stage stays out and the registration stops there.
TEST_F(SpectrumCheckTest, EscapeDuringTheQuestionStopsWithoutMovingIn)
{
    startWithChecks(true);
    selectMode(true, w().Polish1);
    bench->spectrometer().setScanFault(Fault::EmptyStage, 2);
    driver->expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
        .expect("Move Inside?", "Moving Inside", Yes)
        .expect("Spectrum check failed - measure again ?", "No diamond band", Yes,
                [this] { console().Form_KeyPress(27); });
    scanStoneId(QStringLiteral("Q-8"));

    EXPECT_EQ(driver->pending(), 0);
    EXPECT_EQ(measurements(), 3);
    ASSERT_TRUE(controllerReceived(5));
    EXPECT_EQ(controllerCommands(), QStringList({"YF300", "XF67", "XF67", "YR300", "YR300"}));
    EXPECT_EQ(bench->msgTexts().back(), "You Pressed Escape...Abrupted Registration!!!");
    const QList<QJsonObject> scans = scanRecords();
    ASSERT_EQ(scans.size(), 3);
    EXPECT_EQ(scans[2].value("check").toObject().value("answer"), QStringLiteral("stopped"));
    EXPECT_TRUE(bench->server().registrations().empty() ||
                bench->server().registrations()[0].scans.size() == 2);
}

// At the window: the spectrum window opens beside the console when a check fails; F9 hides it.
TEST_F(SpectrumCheckTest, TheSpectrumWindowOpensWhenACheckFails)
{
    windowed = true;
    startWithChecks(true);
    SpectrumWindow* spectrum = bench->station().spectrumWindow();
    ASSERT_NE(spectrum, nullptr);
    EXPECT_FALSE(spectrum->isVisible());
    QStringList shownAtFailure;
    QObject::connect(&flows().scanSeries(), &ScanSeries::failed, spectrum, [&] {
        if (spectrum->isVisible())
            shownAtFailure << spectrum->summary()->text();
    });
    runWithFault(true, Fault::EmptyStage, Yes, "No diamond band");
    EXPECT_EQ(driver->pending(), 0);
    ASSERT_EQ(shownAtFailure.size(), 1);
    EXPECT_TRUE(shownAtFailure[0].contains("scan 3 (") && shownAtFailure[0].contains("check FAILED") &&
                shownAtFailure[0].contains("Spectrum check: no diamond band - is the stone on the stage?"))
        << shownAtFailure[0].toStdString();
    EXPECT_TRUE(spectrum->isVisible());
    EXPECT_TRUE(spectrum->summary()->text().contains("scan 6 (")) << "it follows the scans";

    // F9 in the console, wherever its focus is, hides it and leaves the stone ID box as it was.
    const QString id = w().Text8->text();
    QKeyEvent f9(QEvent::KeyPress, Qt::Key_F9, Qt::NoModifier);
    QCoreApplication::sendEvent(bench->window().widgetOf(w().Text8), &f9);
    EXPECT_FALSE(spectrum->isVisible());
    EXPECT_EQ(w().Text8->text(), id);
    QCoreApplication::sendEvent(bench->window().widgetOf(w().Text8), &f9);
    EXPECT_TRUE(spectrum->isVisible());
}

// Offline nothing can be measured again: Yes uploads the file as it is, No stops the run.
TEST_F(SpectrumCheckTest, OfflineRunsAskWhetherToUploadABadFile)
{
    for (int answer : {Yes, No}) {
        SCOPED_TRACE(answer == Yes ? "Yes" : "No");
        startWithChecks(true);
        if (w().Command18->isEnabled())
            driver->expect("Move Inside?", "Arm Moving Inside", Yes);
        selectMode(false, w().Rough1);
        w().Text8->setText(QStringLiteral("R-OFF"));
        w().Command14->click();
        const QString lot = qs(bench->server().lastLotCode());
        for (int i = 0; i < 6; ++i) {
            QFile file(bench->dataFolder() + "/" + sampleName(lot, i, "-ROUGH").chopped(2) + ".dpt");
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(SimSpectrometer::spectrumFor(lot, i, i == 1 ? Fault::Noisy : Fault::None));
        }
        bench->clearRecords();
        driver->expect("Spectrum check failed - upload it anyway ?", "Spectrum too noisy", answer);
        flows().RunOfflineQuery();

        EXPECT_EQ(driver->pending(), 0);
        // No: the break-off shows the finding as the run's error.
        EXPECT_EQ(driver->askedTitles(), answer == Yes
                                             ? QStringList({"Spectrum too noisy"})
                                             : QStringList({"Spectrum too noisy", "Error Message"}));
        if (answer == No) {
            ASSERT_EQ(driver->unexpected().size(), 1);
            EXPECT_TRUE(
                driver->unexpected()[0].startsWith("Spectrum check: too noisy - is the beam partly blocked?\n"
                                                   "noise "));
        }
        EXPECT_EQ(bench->server().transactions().size(), answer == Yes ? 6u : 1u);
        EXPECT_EQ(requestsTo("/diamond/publishNewAddedTransactionIds").size(), answer == Yes ? 1u : 0u);
        const QList<QJsonObject> scans = scanRecords();
        ASSERT_GE(scans.size(), 2);
        EXPECT_EQ(scans[1].value("check").toObject().value("answer"),
                  answer == Yes ? QStringLiteral("uploaded as it is") : QStringLiteral("run stopped"));
    }
}

} // namespace
