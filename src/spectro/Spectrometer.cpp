#include "spectro/Spectrometer.h"

#include "core/ConsoleModel.h"
#include "core/Operator.h"
#include "core/StationConsole.h"

#include "core/LocalPath.h"
#include "core/StationState.h"
#include "spectro/DataFolderBackup.h"
#include "spectro/HealthCheck.h"
#include "spectro/InstrumentPanel.h"
#include "spectro/SpectrometerChannel.h"

#include <QDir>

namespace {

const QString DefaultBackupFolderName = QStringLiteral("Opus_bak");

QString keptFilesText(const BackupReport& report)
{
    return QStringLiteral("Backup to %1 failed: %2 file(s) kept in %3")
        .arg(QDir::toNativeSeparators(report.backupFolder))
        .arg(report.failed)
        .arg(QDir::toNativeSeparators(report.dataFolder));
}

} // namespace

Spectrometer::Spectrometer(StationConsole& console, Operator& op, ServerCalls calls, Journal& journal)
    : m_console(console)
    , m_model(console.model())
    , m_operator(op)
    , m_calls(std::move(calls))
    , m_channel(std::make_unique<SpectrometerChannel>(console, op))
    , m_panel(std::make_unique<InstrumentPanel>(console, op, *m_channel))
{
    m_check = std::make_unique<HealthCheck>(console, op, *m_channel, journal, [this] {
        if (m_calls.Login)
            m_calls.Login();
        if (m_calls.ReadEnvironmentPage)
            m_calls.ReadEnvironmentPage();
        if (m_calls.SendMachineStatus)
            m_calls.SendMachineStatus();
    });
    m_channel->setReplyHandlers({[this](const QString& v) { m_check->handleStatusMessage(v); },
                                 [this](const QString& v) { m_check->handleStatusCode(v); },
                                 [this](const QString& e) { m_check->handleStatusRequestFailure(e); }});
    m_channel->setHealthCheck([this](QString* error) { return m_check->run(error); },
                              [this](const QString& error) { m_check->failed(error); });

    const std::pair<ConsoleControl*, void (Spectrometer::*)()> buttons[] = {
        {m_model.Exit, &Spectrometer::Exit_Click},
        {m_model.Command5, &Spectrometer::Command5_Click},
        {m_model.Command8, &Spectrometer::Command8_Click},
        {m_model.Sample, &Spectrometer::Sample_Click},
        {m_model.Reference, &Spectrometer::Reference_Click},
        {m_model.Command10, &Spectrometer::Command10_Click},
        {m_model.Command11, &Spectrometer::Command11_Click},
        {m_model.Command9, &Spectrometer::Command9_Click},
        {m_model.Command7, &Spectrometer::Command7_Click},
        {m_model.Command17, &Spectrometer::Command17_Click},
        {m_model.Command20, &Spectrometer::Command20_Click},
        {m_model.Command21, &Spectrometer::Command21_Click},
        {m_model.Command22, &Spectrometer::Command22_Click},
    };
    for (const auto& [button, handler] : buttons)
        if (button)
            connect(button, &ConsoleControl::clicked, this, handler);
    connect(m_console.Timer5, &StationTimer::timeout, this, &Spectrometer::Exit_Click);

    console.hooks().connectToServer = [this](const QString& topic) { connectToServer(topic); };
    console.hooks().Image1_Click = [this] { Image1_Click(); };
}

Spectrometer::~Spectrometer()
{
    m_console.hooks().connectToServer = nullptr;
    m_console.hooks().Image1_Click = nullptr;
}

void Spectrometer::connectToServer(const QString& topic)
{
    m_channel->connectToServer(topic);
}

void Spectrometer::Exit_Click()
{
    m_channel->Exit_Click();
}

bool Spectrometer::SendSpectrometerCommand(const QString& text)
{
    return m_channel->SendSpectrometerCommand(text);
}

void Spectrometer::ddeLink_LinkNotify()
{
    m_channel->ddeLink_LinkNotify();
}

void Spectrometer::ddeLink_LinkError(int code)
{
    m_channel->ddeLink_LinkError(code);
}

QString Spectrometer::lastSendError() const
{
    return m_channel->lastError();
}

void Spectrometer::Command5_Click()
{
    m_panel->Command5_Click();
}

void Spectrometer::BuildMeasureSampleCommand()
{
    m_panel->BuildMeasureSampleCommand();
}

void Spectrometer::Command8_Click()
{
    m_panel->Command8_Click();
}

void Spectrometer::Sample_Click()
{
    m_panel->Sample_Click();
}

void Spectrometer::Reference_Click()
{
    m_panel->Reference_Click();
}

void Spectrometer::Command10_Click()
{
    m_panel->Command10_Click();
}

void Spectrometer::Command100_Click()
{
    m_panel->Command100_Click();
}

void Spectrometer::Command11_Click()
{
    m_panel->Command11_Click();
}

void Spectrometer::Command9_Click()
{
    m_panel->Command9_Click();
}

void Spectrometer::Command7_Click()
{
    m_panel->Command7_Click();
}

QString Spectrometer::backupFolder() const
{
    const QString configured = m_console.environment().backupFolder;
    if (!configured.isEmpty())
        return configured;
    return QDir::home().filePath(DefaultBackupFolderName);
}

QString Spectrometer::localDataFolder() const
{
    // Without a mounted share the folder is used as configured.
    const QString folder = stationState().DataFolder.toText();
    const QString local = m_console.environment().localDataFolder;
    return local.isEmpty() ? folder : LocalPath::of(folder, folder, local);
}

void Spectrometer::BackUpDataFolder()
{
    DataFolderBackup::run(localDataFolder(), backupFolder(), false);
}

BackupReport Spectrometer::backUpThenDeleteDataFiles()
{
    const BackupReport report = DataFolderBackup::run(localDataFolder(), backupFolder(), true);
    if (report.failed > 0)
        m_model.setMsg1(keptFilesText(report));
    return report;
}

void Spectrometer::Image1_Click()
{
    m_check->Image1_Click();
}

void Spectrometer::Command17_Click()
{
    m_check->Command17_Click();
}

void Spectrometer::Command20_Click()
{
    m_check->Command20_Click();
}

void Spectrometer::Command21_Click()
{
    m_check->Command21_Click();
}

void Spectrometer::Command22_Click()
{
    m_check->Command22_Click();
}

quint32 Spectrometer::lastStatusColor() const
{
    return m_check->lastStatusColor();
}
