#pragma once

#include "core/Journal.h"
#include "spectro/BackupReport.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class ConsoleModel;
class Operator;
class StationConsole;
class HealthCheck;
class InstrumentPanel;
class SpectrometerChannel;

// The spectrometer subsystem on the console: command channel, instrument buttons, data folder
// backup and health check. It connects itself to the window's hidden buttons, Timer5 and the
// link, and sets the console's hooks for connecting and for the health check.
class Spectrometer : public QObject
{
    Q_OBJECT
public:
    // Server operations the health check hands over to when it ends.
    struct ServerCalls
    {
        std::function<void()> Login;
        std::function<void()> ReadEnvironmentPage;
        std::function<void()> SendMachineStatus;
    };

    Spectrometer(StationConsole& console, Operator& op, ServerCalls calls, Journal& journal = Journal::none());
    ~Spectrometer() override;

    // Command channel
    void connectToServer(const QString& topic);
    void Exit_Click();
    bool SendSpectrometerCommand(const QString& text);
    void ddeLink_LinkNotify();
    void ddeLink_LinkError(int code);
    QString lastSendError() const;

    // Measurement and file commands
    void Command5_Click();
    void BuildMeasureSampleCommand();
    void Command8_Click();
    void Sample_Click();
    void Reference_Click();
    void Command10_Click();
    void Command100_Click();
    void Command11_Click();
    void Command9_Click();
    void Command7_Click();

    // Copies the data folder into the backup folder; nothing is removed.
    void BackUpDataFolder();
    // Backs the data folder up, then removes each data file whose copy was read back equal.
    // Files that could not be backed up stay, and Msg1 says how many and where.
    BackupReport backUpThenDeleteDataFiles();
    // The backup folder in use (the environment's, or Opus_bak in the home folder).
    QString backupFolder() const;
    // The data folder as this machine reaches it.
    QString localDataFolder() const;

    // Health check
    void Image1_Click();
    void Command17_Click();
    void Command20_Click();
    void Command21_Click();
    void Command22_Click();
    quint32 lastStatusColor() const;

private:
    StationConsole& m_console;
    ConsoleModel& m_model;
    Operator& m_operator;
    ServerCalls m_calls;
    std::unique_ptr<SpectrometerChannel> m_channel;
    std::unique_ptr<InstrumentPanel> m_panel;
    std::unique_ptr<HealthCheck> m_check;
};
