#include "workflows/Station.h"

#include "motion/StageControl.h"
#include "server/ServerClient.h"
#include "spectro/Spectrometer.h"
#include "ui/Frmgrading.h"
#include "workflows/StoneWorkflows.h"

Station::Station(StationEnvironment environment)
    : m_window(std::make_unique<Frmgrading>(std::move(environment)))
{
    Frmgrading& w = *m_window;
    m_server = std::make_unique<ServerClient>(w);
    ServerClient* server = m_server.get();
    m_spectrometer = std::make_unique<Spectrometer>(
        w,
        Spectrometer::ServerCalls{[server] { server->Login(); }, [server] { server->ReadEnvironmentPage(); },
                                  [server] { server->SendMachineStatus(); }});
    Spectrometer* spectrometer = m_spectrometer.get();
    m_stage = std::make_unique<StageControl>(w, [spectrometer] { spectrometer->Exit_Click(); });
    w.hooks().BuildMeasureSampleCommand = [spectrometer] { spectrometer->BuildMeasureSampleCommand(); };
    m_workflows = std::make_unique<StoneWorkflows>(w, *m_stage, *m_spectrometer, *m_server);
}

Station::~Station()
{
    // Subsystems hold references to the window: they go first.
    m_workflows.reset();
    m_stage.reset();
    m_spectrometer.reset();
    m_server.reset();
    m_window.reset();
}

void Station::start()
{
    m_window->Form_Load();
}
