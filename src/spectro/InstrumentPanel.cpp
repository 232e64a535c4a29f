#include "spectro/InstrumentPanel.h"

#include "core/ConsoleModel.h"
#include "core/Operator.h"
#include "core/StationConsole.h"

#include "core/StationState.h"
#include "spectro/SpectrometerChannel.h"
#include "spectro/SpectrometerCommands.h"

#include <QDir>

namespace {

const QString TakingBackgroundText = QStringLiteral("Taking Background.....");
const QString SavingText = QStringLiteral("Saving ......");
const QString FileSavedText = QStringLiteral("File Saved..");
const QString UnloadingText = QStringLiteral("Unloading File ..");
const QString StartingMachineText = QStringLiteral("Starting Machine");
const QString StartingOpusText = QStringLiteral("STARTING OPUS..Please confirm...");
const QString BatchFile = QStringLiteral("\\VELORA1.bat");
const QString CannotStartText = QStringLiteral("Cannot start ");

} // namespace

InstrumentPanel::InstrumentPanel(StationConsole& console, Operator& op, SpectrometerChannel& channel)
    : m_console(console)
    , m_model(console.model())
    , m_operator(op)
    , m_channel(channel)
{
}

void InstrumentPanel::Command5_Click()
{
    m_model.setMsg(TakingBackgroundText);
    m_channel.SendSpectrometerCommand(SpectrometerCommands::backgroundCommand(stationState()));
}

void InstrumentPanel::BuildMeasureSampleCommand()
{
    StationState& s = stationState();
    s.SampleName = SpectrometerCommands::sampleName(s);
    s.SpectrometerCommand = SpectrometerCommands::measureSampleCommand(s);
}

void InstrumentPanel::Command8_Click()
{
    BuildMeasureSampleCommand();
    m_channel.SendSpectrometerCommand(stationState().SpectrometerCommand.toText());
}

void InstrumentPanel::Sample_Click()
{
    if (!m_channel.SendSpectrometerCommand(stationState().SpectrometerCommand.toText()))
        m_channel.setLinkText(m_channel.lastError());
}

void InstrumentPanel::Reference_Click()
{
    if (!m_channel.SendSpectrometerCommand(SpectrometerCommands::takeReferenceCommand()))
        m_channel.setLinkText(m_channel.lastError());
}

void InstrumentPanel::Command100_Click()
{
    StationState& s = stationState();
    s.MeasuredFile = SpectrometerCommands::measuredFile(s);
    s.SpectrumBaseName = SpectrometerCommands::spectrumBaseName(s);
    s.SpectrumFileName = s.SpectrumBaseName.toText() + QStringLiteral(".dpt");
}

void InstrumentPanel::Command10_Click()
{
    StationState& s = stationState();
    Command100_Click();
    m_model.setMsg(SavingText + s.SpectrumFileName);
    // "Saved" only once the software has taken the command.
    if (m_channel.SendSpectrometerCommand(SpectrometerCommands::saveCommand(s)))
        m_model.setMsg(FileSavedText + s.SpectrumFileName);
    m_channel.SendSpectrometerCommand(SpectrometerCommands::unloadCommand(s.MeasuredFile.toText()));
    m_model.setMsg(UnloadingText + s.MeasuredFile.toText());
}

void InstrumentPanel::Command11_Click()
{
    StationState& s = stationState();
    s.MeasuredFile = m_model.Text7[2]->text();
    m_channel.SendSpectrometerCommand(SpectrometerCommands::unloadCommand(s.MeasuredFile.toText()));
}

void InstrumentPanel::Command9_Click()
{
    m_channel.SendSpectrometerCommand(SpectrometerCommands::testSaveCommand(stationState()));
}

void InstrumentPanel::Command7_Click()
{
    m_model.setMsg(StartingMachineText);
    // The software's folder exists only on its own workstation; elsewhere the folder stays.
    const QString folder = SpectrometerCommands::programFolder(stationState());
    if (QDir(folder).exists())
        QDir::setCurrent(folder);
    const QString batch = m_console.programFile(BatchFile);
    const auto& start = m_console.environment().startDetached;
    if (!start || !start(batch, {}))
        m_model.setMsg1(CannotStartText + batch);
    m_model.setMsg(StartingOpusText);
}
