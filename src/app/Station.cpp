#include "app/Station.h"

#include "core/ConsoleModel.h"
#include "core/Journal.h"
#include "core/JournalReader.h"
#include "core/StationConsole.h"
#include "core/StationState.h"
#include "motion/StageControl.h"
#include "server/ServerClient.h"
#include "spectro/Spectrometer.h"
#include "ui/Frmgrading.h"
#include "ui/SpectrumWindow.h"
#include "ui/WidgetOperator.h"
#include "workflows/StoneWorkflows.h"

#include <QDir>

#include <utility>

Station::Station(StationEnvironment environment, const OperatorFactory& makeOperator)
    : m_journal(std::make_unique<Journal>(environment.journalFolder))
    , m_model(std::make_unique<ConsoleModel>())
    , m_console(std::make_unique<StationConsole>(std::move(environment), *m_model))
{
    if (makeOperator) {
        m_operator = makeOperator(*m_console);
        // No window to close: a close asked for runs the unload the window's close would.
        QObject::connect(m_model.get(), &ConsoleModel::closeRequested, m_console.get(),
                         [console = m_console.get()] { console->requestUnload(); });
    } else {
        m_window = std::make_unique<Frmgrading>(*m_model, *m_console);
        m_operator = std::make_unique<WidgetOperator>(*m_console, *m_window);
    }
    StationConsole& console = *m_console;
    Operator& op = *m_operator;
    console.setOperator(op);
    ConsoleModel* model = m_model.get();
    m_journal->setFailureReporter([model](const QString& text) { model->setMsg1(text); });
    m_server = std::make_unique<ServerClient>(console, op);
    ServerClient* server = m_server.get();
    m_spectrometer = std::make_unique<Spectrometer>(
        console, op,
        Spectrometer::ServerCalls{[server] { server->Login(); }, [server] { server->ReadEnvironmentPage(); },
                                  [this, server] {
                                      server->SendMachineStatus();
                                      showUnfinishedRunNotice();
                                  }},
        *m_journal);
    Spectrometer* spectrometer = m_spectrometer.get();
    m_stage = std::make_unique<StageControl>(console, op, [spectrometer] { spectrometer->Exit_Click(); });
    console.hooks().BuildMeasureSampleCommand = [spectrometer] { spectrometer->BuildMeasureSampleCommand(); };
    m_workflows =
        std::make_unique<StoneWorkflows>(console, op, *m_stage, *m_spectrometer, *m_server, *m_journal);

    if (m_window) {
        m_spectrumWindow =
            std::make_unique<SpectrumWindow>(m_workflows->scanSeries(), console.environment().spectrumChecks);
        SpectrumWindow* spectrum = m_spectrumWindow.get();
        Frmgrading* window = m_window.get();
        QObject::connect(&m_workflows->scanSeries(), &ScanSeries::failed, spectrum,
                         [spectrum, window] { spectrum->showBeside(window); });
        QObject::connect(window, &Frmgrading::spectrumWindowRequested, spectrum,
                         [spectrum, window] { spectrum->toggleBeside(window); });
    }

    // The start record goes after the configuration is read and before the link's health check.
    auto connectToServer = console.hooks().connectToServer;
    console.hooks().connectToServer = [this, connectToServer, started = false](const QString& topic) mutable {
        if (!std::exchange(started, true))
            journalStart();
        if (connectToServer)
            connectToServer(topic);
    };
    Journal* journal = m_journal.get();
    // Once the operator works the console the notice has been seen.
    QObject::connect(m_workflows.get(), &StoneWorkflows::busyChanged,
                     [this] { m_unfinishedRunNotice.clear(); });
    // The settings as the station leaves them, beside those it started with.
    QObject::connect(&console, &StationConsole::ended,
                     [this, journal] { journal->record(QStringLiteral("close"), stationFields()); });
}

Station::~Station()
{
    // Subsystems hold references to the console and the operator: they go first, the model last.
    m_spectrumWindow.reset();
    m_workflows.reset();
    m_stage.reset();
    m_spectrometer.reset();
    m_server.reset();
    m_operator.reset();
    m_window.reset();
    m_console.reset();
    m_model.reset();
    m_journal.reset();
}

void Station::start()
{
    // What an interrupted run left is found before this start writes anything.
    const JournalReader reader(m_journal->folder());
    const auto unfinished = m_journal->isEnabled() ? reader.lastUnfinishedRun() : std::nullopt;
    m_journal->prune();
    m_console->Form_Load();
    if (!unfinished)
        return;
    m_journal->record(QStringLiteral("interrupted"),
                      {{QStringLiteral("interruptedRun"), unfinished->start.value(QStringLiteral("run"))},
                       {QStringLiteral("stone"), unfinished->start.value(QStringLiteral("stone"))},
                       {QStringLiteral("lot"), unfinished->start.value(QStringLiteral("lot"))},
                       {QStringLiteral("scanned"), unfinished->start.value(QStringLiteral("scanned"))},
                       {QStringLiteral("scansSaved"), unfinished->scansSaved},
                       {QStringLiteral("scansUploaded"), unfinished->scansUploaded}});
    m_unfinishedRunNotice = JournalReader::notice(*unfinished);
    showUnfinishedRunNotice();
}

void Station::showUnfinishedRunNotice()
{
    // After each health check's link replies, so that it stays in view until the operator acts.
    if (!m_unfinishedRunNotice.isEmpty() && !m_console->hasEnded())
        m_model->setMsg1(m_unfinishedRunNotice);
}

void Station::journalStart()
{
    m_journal->record(QStringLiteral("start"), stationFields());
}

QJsonObject Station::stationFields() const
{
    const StationState& s = stationState();
    const StationEnvironment& env = m_console->environment();
    const bool lan = s.ServerMode == 1;
    QJsonObject fields{
        {QStringLiteral("version"),
         QStringLiteral("%1.%2.%3").arg(env.versionMajor).arg(env.versionMinor).arg(env.versionRevision)},
        {QStringLiteral("mode"), s.ModeIndex.toText()},
        {QStringLiteral("experiment"), s.ExperimentFile.toText()},
        {QStringLiteral("server"), lan ? QStringLiteral("LAN") : QStringLiteral("cloud")},
        {QStringLiteral("serverUrl"), lan ? env.lanUrl : env.cloudUrl},
        {QStringLiteral("dataFolder"), s.DataFolder.toText()},
        {QStringLiteral("backupFolder"), QDir::toNativeSeparators(m_spectrometer->backupFolder())},
        {QStringLiteral("programFolder"), QDir::toNativeSeparators(env.programFolder)},
        {QStringLiteral("scansPerStone"), m_model->Text6->text()}};
    if (!env.localDataFolder.isEmpty())
        fields.insert(QStringLiteral("localDataFolder"),
                      QDir::toNativeSeparators(m_spectrometer->localDataFolder()));
    return fields;
}
