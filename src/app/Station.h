#pragma once

#include "core/StationEnvironment.h"

#include <QJsonObject>

#include <functional>
#include <memory>

class ConsoleModel;
class Frmgrading;
class Journal;
class Operator;
class ServerClient;
class Spectrometer;
class SpectrumWindow;
class StageControl;
class StationConsole;
class StoneWorkflows;

// The whole station assembled from one environment: the console's model, its procedures, its
// window and the operator there, and every subsystem, wired to each other. Production, tests and
// the demo differ only in the environment they pass, and tests may seat their own operator at a
// console without a window.
class Station
{
public:
    using OperatorFactory = std::function<std::unique_ptr<Operator>(StationConsole&)>;

    // Without an operator factory the console gets its window and the operator at it.
    explicit Station(StationEnvironment environment, const OperatorFactory& makeOperator = {});
    ~Station();

    // Runs the console's load procedure (configuration, serial port, link, layout) and shows it.
    void start();

    ConsoleModel& model() { return *m_model; }
    StationConsole& console() { return *m_console; }
    bool hasWindow() const { return m_window != nullptr; }
    Frmgrading& window() { return *m_window; }
    // Beside the console's window; none without it.
    SpectrumWindow* spectrumWindow() { return m_spectrumWindow.get(); }
    Operator& op() { return *m_operator; }
    StageControl& stage() { return *m_stage; }
    Spectrometer& spectrometer() { return *m_spectrometer; }
    ServerClient& server() { return *m_server; }
    StoneWorkflows& workflows() { return *m_workflows; }
    Journal& journal() { return *m_journal; }

private:
    void journalStart();
    // What the start and close records say of the station: version, mode, server, folders.
    QJsonObject stationFields() const;
    void showUnfinishedRunNotice();

    std::unique_ptr<Journal> m_journal;
    std::unique_ptr<ConsoleModel> m_model;
    std::unique_ptr<StationConsole> m_console;
    std::unique_ptr<Frmgrading> m_window;
    std::unique_ptr<Operator> m_operator;
    std::unique_ptr<ServerClient> m_server;
    std::unique_ptr<Spectrometer> m_spectrometer;
    std::unique_ptr<StageControl> m_stage;
    std::unique_ptr<StoneWorkflows> m_workflows;
    std::unique_ptr<SpectrumWindow> m_spectrumWindow;
    QString m_unfinishedRunNotice;
};
