// The station on the simulated bench. With a display the console opens for a person to work it and
// this terminal shows what the devices do; without one (or with --auto) a scripted operator
// registers a stone, queries it, queries a stranger, and the simulated server's verdicts decide the
// exit status.
#include "ScriptedOperator.h"

#include "bench/DialogDriver.h"
#include "bench/SimBench.h"

#include "SimController.h"
#include "SimServer.h"
#include "SimSpectrometer.h"
#include "SpectralMatcher.h"

#include "app/Station.h"
#include "core/ConsoleModel.h"
#include "core/Journal.h"
#include "core/StationConsole.h"
#include "ui/Frmgrading.h"
#include "ui/TextBox.h"
#include "workflows/StoneWorkflows.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QLineEdit>

#include <curl/curl.h>

#include <cstdio>
#include <map>

namespace {

QElapsedTimer demoClock;

void say(const QString& line)
{
    std::printf("[%8.3f s] %s\n", demoClock.elapsed() / 1000.0, qPrintable(line));
    std::fflush(stdout);
}

QString oneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" | "));
    text.replace(QLatin1Char('\n'), QLatin1String(" | "));
    text.replace(QLatin1Char('\r'), QLatin1String(" | "));
    if (text.size() > 300)
        text = text.left(300) + QStringLiteral(" ...");
    return text;
}

size_t collect(char* data, size_t size, size_t count, void* target)
{
    static_cast<std::string*>(target)->append(data, size * count);
    return size * count;
}

// Reads the simulated server's verdicts over HTTP, as any client of the bench would.
QJsonArray fetchVerdicts(const std::string& baseUrl)
{
    std::string body;
    CURL* curl = curl_easy_init();
    if (!curl)
        return {};
    const std::string url = baseUrl + "/sim/verdicts";
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 10L);
    const CURLcode result = curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    if (result != CURLE_OK)
        return {};
    return QJsonDocument::fromJson(QByteArray::fromStdString(body)).array();
}

struct ModeChoice
{
    const char* name;
    const char* picture;
};

constexpr ModeChoice RegisterModes[] = {{"rough", "Rough1"}, {"polish", "Polish1"}, {"splits", "Splits1"}};
constexpr ModeChoice QueryModes[] = {{"rough", "Rough1"},          {"polish", "Polish1"},
                                     {"splits", "Splits1"},        {"polish-rough", "Polish2"},
                                     {"polish-splits", "Polish3"}, {"splits-rough", "Polish4"}};

template <size_t N> QString pictureFor(const ModeChoice (&modes)[N], const QString& name)
{
    for (const ModeChoice& mode : modes)
        if (name == QLatin1String(mode.name))
            return QLatin1String(mode.picture);
    return QString();
}

// The stone whose barcode is read is the one on the stage: the simulated spectrometer measures that
// stone's spectra, whatever lot code the server hands out for it.
class MountedStone : public QObject
{
public:
    MountedStone(SimBench& bench)
        : m_bench(bench)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            auto* box = qobject_cast<QLineEdit*>(watched);
            if (box && (key == Qt::Key_Return || key == Qt::Key_Enter)) {
                m_bench.spectrometer().setMountedStone(box->text());
                say(QStringLiteral("bench       stone %1 placed on the stage").arg(box->text()));
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    SimBench& m_bench;
};

void showDevices(SimBench& bench)
{
    bench.controller().setCommandObserver(
        [](const SimController::Command& command, const SimController::Position&) {
            say(QStringLiteral("controller  <- %1").arg(QString::fromStdString(command.text)));
        });
    bench.controller().setRestObserver([](const SimController::Position& p) {
        say(QStringLiteral("controller  stage Y %1, up/down Z %2, rotation X %3")
                .arg(p.y, 0, 'f', 1)
                .arg(p.z, 0, 'f', 1)
                .arg(p.x, 0, 'f', 1));
    });
    bench.spectrometer().setLogSink(
        [](const QString& line) { say(QStringLiteral("spectrometer %1").arg(oneLine(line))); });
}

} // namespace

int main(int argc, char** argv)
{
    demoClock.start();
    const bool hasDisplay =
        !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    bool autoRequested = false;
    for (int i = 1; i < argc; ++i)
        autoRequested |= qstrcmp(argv[i], "--auto") == 0;
    if (!hasDisplay || autoRequested)
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("The VELORA station on the simulated bench."));
    parser.addHelpOption();
    parser.addOption({QStringLiteral("auto"), QStringLiteral("Run offscreen with the scripted operator.")});
    parser.addOption({QStringLiteral("real-time"), QStringLiteral("Keep the specified tick lengths.")});
    parser.addOption({QStringLiteral("scale"), QStringLiteral("Time scale (default 0.05)."),
                      QStringLiteral("factor"), QStringLiteral("0.05")});
    parser.addOption({QStringLiteral("stone"), QStringLiteral("Stone id to register and query."),
                      QStringLiteral("id"), QStringLiteral("LOT2026-07#12-3")});
    parser.addOption({QStringLiteral("other-stone"), QStringLiteral("Never registered stone id to query."),
                      QStringLiteral("id"), QStringLiteral("LOT2026-09#44-1")});
    parser.addOption({QStringLiteral("register-mode"),
                      QStringLiteral("rough, polish or splits (default rough)."), QStringLiteral("mode"),
                      QStringLiteral("rough")});
    parser.addOption({QStringLiteral("query-mode"),
                      QStringLiteral("rough, polish, splits, polish-rough, polish-splits or splits-rough "
                                     "(default polish-rough)."),
                      QStringLiteral("mode"), QStringLiteral("polish-rough")});
    parser.addOption(
        {QStringLiteral("verbose"), QStringLiteral("Also show the devices' traffic in --auto.")});
    parser.process(app);

    const bool scripted = !hasDisplay || parser.isSet(QStringLiteral("auto"));
    double scale =
        parser.isSet(QStringLiteral("real-time")) ? 1.0 : parser.value(QStringLiteral("scale")).toDouble();
    if (!(scale > 0))
        scale = 0.05;
    const QString registerPicture = pictureFor(RegisterModes, parser.value(QStringLiteral("register-mode")));
    const QString queryPicture = pictureFor(QueryModes, parser.value(QStringLiteral("query-mode")));
    if (registerPicture.isEmpty() || queryPicture.isEmpty()) {
        std::fprintf(stderr, "unknown mode; see --help\n");
        return 2;
    }
    const QString stone = parser.value(QStringLiteral("stone"));
    const QString otherStone = parser.value(QStringLiteral("other-stone"));

    SimBench::Options options;
    options.timeScale = scale;
    options.picturesFolder = QStringLiteral(DEMO_PICTURES_DIR);
    options.portLinkInProgramFolder = true;
    // Like the station, so that velora-journal shows the demo's runs.
    options.journalFolder = Journal::defaultFolder();
    // As a site with [quality] checks = ask in station.ini.
    options.spectrumChecks.mode = SpectrumCheckSettings::Mode::Ask;
    SimBench bench(options);
    curl_global_init(CURL_GLOBAL_DEFAULT);

    say(QStringLiteral("starting the simulated bench (time scale %1)").arg(scale));
    if (!bench.start(qMax(20000, int(120000 * scale) + 20000))) {
        say(QStringLiteral("the bench did not start: %1").arg(bench.error()));
        return 1;
    }
    bench.server().setQueryMatcher(SpectralMatcher::serverMatcher());
    bench.server().setLogger([](const std::string& line) {
        say(QStringLiteral("server      %1").arg(QString::fromStdString(line)));
    });
    // One bad scan to be caught: the stage is empty for the registration's third measurement; the
    // check stops it before its upload and the position is measured again.
    bench.spectrometer().setScanFault(SimSpectrometer::ScanFault::EmptyStage, 2);
    say(QStringLiteral("bench       fault switch: the stage will be empty for the third measurement"));
    QObject::connect(&bench.workflows().scanSeries(), &ScanSeries::failed, [&bench] {
        const ScanSeries::Scan* scan = bench.workflows().scanSeries().last();
        say(QStringLiteral("spectrum    scan %1 failed its check (%2); the spectrum window opens")
                .arg(scan->number)
                .arg(scan->verdict.codes().join(QStringLiteral(", "))));
    });
    Frmgrading& w = bench.window();
    MountedStone mounted(bench);
    w.Text8->installEventFilter(&mounted);
    say(QStringLiteral("program folder %1, data folder %2, backup folder %3, journal %4")
            .arg(bench.programFolder(), bench.dataFolder(), bench.backupFolder(), bench.journalFolder()));
    say(QStringLiteral("controller on %1 (COM3 in the program folder), spectrometer software on "
                       "127.0.0.1:%2, server on %3")
            .arg(bench.controller().devicePath())
            .arg(bench.spectrometer().port())
            .arg(QString::fromStdString(bench.server().baseUrl())));
    QObject::connect(&bench.model(), &ConsoleModel::msgChanged,
                     [](const QString& t) { say(QStringLiteral("Msg : ") + oneLine(t)); });
    QObject::connect(&bench.model(), &ConsoleModel::msg1Changed,
                     [](const QString& t) { say(QStringLiteral("Msg1: ") + oneLine(t)); });

    if (!scripted) {
        showDevices(bench);
        say(QStringLiteral(
            "the console is yours: choose Register or Query, a stone mode, then type a stone id and "
            "press Enter. Close the console to end."));
        QObject::connect(&bench.console(), &StationConsole::ended, &app, &QCoreApplication::quit,
                         Qt::QueuedConnection);
        w.show();
        w.raise();
        return app.exec();
    }
    if (parser.isSet(QStringLiteral("verbose")))
        showDevices(bench);

    DialogDriver dialogs;
    dialogs.setUnexpectedAnswer(DialogDriver::Yes);
    ScriptedOperator operatorScript(bench, dialogs,
                                    {{ScriptedOperator::Activity::Register, registerPicture, stone},
                                     {ScriptedOperator::Activity::Query, queryPicture, stone},
                                     {ScriptedOperator::Activity::Query, queryPicture, otherStone}});
    bool completed = false;
    QObject::connect(&operatorScript, &ScriptedOperator::finished, &app, [&](bool ok) {
        completed = ok;
        app.quit();
    });
    operatorScript.start();
    app.exec();

    for (const DialogDriver::Asked& asked : dialogs.asked())
        say(QStringLiteral("question answered %1: \"%2\" / \"%3\"")
                .arg(asked.answer == DialogDriver::Yes ? QStringLiteral("OK - YES")
                                                       : QStringLiteral("Cancel - NO"),
                     asked.message, asked.title));
    for (const DialogDriver::SystemBox& box : dialogs.systemBoxes())
        say(QStringLiteral("message box \"%1\": %2").arg(box.title, oneLine(box.text)));

    const auto& outcomes = operatorScript.outcomes();
    if (!completed || outcomes.size() != 3) {
        say(QStringLiteral("RESULT: the scripted operator could not finish its work"));
        return 1;
    }

    // The registration counts as accepted when the server holds the stone's submitted scans.
    const QString registeredLot = outcomes[0].lotCode;
    size_t submitted = 0;
    for (const SimServer::Registration& registration : bench.server().registrations())
        if (QString::fromStdString(registration.lotCode) == registeredLot)
            submitted = registration.submittedIds.size();
    const bool registrationAccepted = submitted > 0 && !registeredLot.isEmpty();
    say(QStringLiteral("registration of %1: lot %2, %3 scans submitted - %4")
            .arg(stone, registeredLot)
            .arg(submitted)
            .arg(registrationAccepted ? QStringLiteral("accepted") : QStringLiteral("NOT accepted")));

    std::map<QString, QJsonObject> verdicts;
    for (const QJsonValue& value : fetchVerdicts(bench.server().baseUrl()))
        verdicts[value.toObject().value(QStringLiteral("query")).toString()] = value.toObject();

    bool firstMatched = false;
    bool secondMatchedNone = false;
    for (size_t i = 1; i < outcomes.size(); ++i) {
        const auto& outcome = outcomes[i];
        const QJsonObject verdict = verdicts[outcome.queryId];
        const bool match = verdict.value(QStringLiteral("verdict")).toString() == QLatin1String("MATCH");
        const QString matchedLot = verdict.value(QStringLiteral("matchedLot")).toString();
        const double score = verdict.value(QStringLiteral("score")).toDouble();
        const double runnerUp = verdict.value(QStringLiteral("runnerUp")).toDouble();
        QString text;
        if (verdict.isEmpty())
            text = QStringLiteral("no verdict from the server");
        else if (match)
            text = QStringLiteral("MATCH: registered stone %1 (lot %2), similarity %3, next best %4")
                       .arg(matchedLot == registeredLot ? stone : QStringLiteral("?"), matchedLot)
                       .arg(score, 0, 'f', 4)
                       .arg(runnerUp, 0, 'f', 4);
        else
            text = QStringLiteral("NO MATCH: no registered stone (best similarity %1)").arg(score, 0, 'f', 4);
        say(QStringLiteral("query %1 of stone %2 (%3): station shows \"%4\"; server verdict %5")
                .arg(outcome.queryId.isEmpty() ? QStringLiteral("(none)") : outcome.queryId,
                     outcome.cycle.stoneId, outcome.cycle.modePicture, outcome.lastMsg, text));
        if (i == 1)
            firstMatched = match && matchedLot == registeredLot;
        else
            secondMatchedNone = !verdict.isEmpty() && !match;
    }

    const bool success = registrationAccepted && firstMatched && secondMatchedNone;
    say(QStringLiteral("RESULT: %1")
            .arg(success ? QStringLiteral("registration accepted, the stone was recognised, the "
                                          "stranger was not")
                         : QStringLiteral("FAILED")));
    curl_global_cleanup();
    return success ? 0 : 1;
}
