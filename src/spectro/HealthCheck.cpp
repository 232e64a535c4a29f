#include "spectro/HealthCheck.h"

#include "core/ConsoleModel.h"
#include "core/Operator.h"
#include "core/StationConsole.h"

#include "core/Journal.h"
#include "core/NumberText.h"
#include "core/SpectrometerLink.h"
#include "core/StationState.h"
#include "spectro/SpectrometerChannel.h"
#include "spectro/SpectrometerCommands.h"

namespace {

const QString ProgramTitle = QStringLiteral("VELORA");
const QString AllOkText = QStringLiteral("All OK");
const QString HumidityText = QStringLiteral("Humidity");
const QString FaultText = QStringLiteral("Fault");
const QString HumidityBoxText = QStringLiteral("Himidity Out of Range !!!");
const QString FaultBoxText = QStringLiteral("Instrument Test is required Resetable  !!!");
const QString CriticalBoxText = QStringLiteral("Critical.... Contact Developer or support ");
const QString PeakText = QStringLiteral("Peak= ");
const QString PeakAmplitudeText = QStringLiteral("Peak Amplitude = ");
const QString PeakPositionText = QStringLiteral("Absolute Peak Position = ");
const QString HardwareNotConnectedText = QStringLiteral("Machine Hardware Not Connected !!! ");
const QString PositionInstrumentFolder = QStringLiteral("212030");
const QString StatusRequestFailedText = QStringLiteral("No status from the spectrometer software");
constexpr int WaitTicks = 2;

} // namespace

HealthCheck::HealthCheck(StationConsole& console, Operator& op, SpectrometerChannel& channel,
                         Journal& journal, std::function<void()> afterCheck)
    : m_console(console)
    , m_model(console.model())
    , m_operator(op)
    , m_channel(channel)
    , m_afterCheck(std::move(afterCheck))
    , m_journal(journal)
{
}

bool HealthCheck::send(const QString& text, QString* error)
{
    stationState().SpectrometerCommand = text;
    if (m_channel.SendSpectrometerCommand(text))
        return true;
    if (error)
        *error = m_channel.lastError();
    return false;
}

bool HealthCheck::requestPeakAmplitude(QString* error)
{
    StationState& s = stationState();
    s.PendingReply = 1;
    if (!send(SpectrometerCommands::backgroundFileCommand(s, s.InstrumentFolder), error))
        return false;
    s.PendingReply = 1;
    if (!send(SpectrometerCommands::parameterBlockCommand(), error))
        return false;
    s.PendingReply = 1;
    return send(SpectrometerCommands::peakAmplitudeCommand(), error);
}

bool HealthCheck::requestPeakPosition(QString* error)
{
    StationState& s = stationState();
    s.PendingReply = 2;
    return send(SpectrometerCommands::backgroundFileCommand(s, PositionInstrumentFolder), error) &&
           send(SpectrometerCommands::parameterBlockCommand(), error) &&
           send(SpectrometerCommands::peakPositionCommand(), error);
}

bool HealthCheck::requestStatusMessage(QString* error)
{
    stationState().PendingReply = 3;
    return send(SpectrometerCommands::statusMessageCommand(), error);
}

bool HealthCheck::requestStatusCode(QString* error)
{
    stationState().PendingReply = 4;
    return send(SpectrometerCommands::statusCodeCommand(), error);
}

void HealthCheck::Command17_Click()
{
    QString error;
    if (!requestPeakAmplitude(&error))
        m_channel.setLinkText(error);
}

void HealthCheck::Command20_Click()
{
    QString error;
    if (!requestPeakPosition(&error))
        m_channel.setLinkText(error);
}

void HealthCheck::Command21_Click()
{
    QString error;
    if (!requestStatusMessage(&error))
        m_channel.setLinkText(error);
}

void HealthCheck::Command22_Click()
{
    QString error;
    if (!requestStatusCode(&error))
        m_channel.setLinkText(error);
}

bool HealthCheck::run(QString* error)
{
    // A check started while one waits (the timer, a click) would overwrite its pending reply.
    if (m_running)
        return true;
    m_running = true;
    // Each request is followed by its own wait, in which its reply is served.
    const std::function<bool(QString*)> requests[] = {
        [this](QString* e) { return requestPeakAmplitude(e); },
        [this](QString* e) { return requestPeakPosition(e); },
        [this](QString* e) { return requestStatusMessage(e); },
        [this](QString* e) { return requestStatusCode(e); },
    };
    m_statusRequestError.clear();
    for (const auto& request : requests) {
        if (!request(error)) {
            m_running = false;
            return false;
        }
        m_operator.TimedWait(WaitTicks);
        if (!m_statusRequestError.isEmpty()) {
            if (error)
                *error = m_statusRequestError;
            m_running = false;
            return false;
        }
    }
    m_running = false;

    StationState& s = stationState();
    m_model.Text9->setText(PeakText + s.PeakAmplitude.toText());
    m_model.setMsg(PeakAmplitudeText + s.PeakAmplitude.toText() + QStringLiteral(" AND ") + PeakPositionText +
                   s.PeakPosition);
    journalResult(QString());
    if (m_afterCheck)
        m_afterCheck();
    return true;
}

void HealthCheck::Image1_Click()
{
    QString error;
    if (!run(&error))
        failed(error);
}

void HealthCheck::failed(const QString& error)
{
    m_channel.setLinkText(error);
    m_model.setMsg(HardwareNotConnectedText);
    journalResult(error);
    // A dropped link is only reopened by a connection attempt: let the timer make them again.
    SpectrometerLink* link = m_console.link();
    if (!link || !link->isConnected())
        m_console.Timer5->setEnabled(true);
}

void HealthCheck::setStatusTextColor(quint32 color)
{
    m_model.Text11->setColour(color);
}

void HealthCheck::handleStatusMessage(const QString& value)
{
    const double code = NumberText::parseLeading(value);
    if (code == 0) {
        m_model.Text11->setText(AllOkText);
        setStatusTextColor(Green);
    } else if (code == 10152) {
        m_model.Text11->setText(HumidityText);
        m_operator.showSystemMessage(HumidityBoxText, ProgramTitle);
        setStatusTextColor(Yellow);
    } else if (code == 60139) {
        m_model.Text11->setText(FaultText);
        m_operator.showSystemMessage(FaultBoxText, ProgramTitle);
        setStatusTextColor(Red);
    }
    stationState().PendingReply = 0;
}

void HealthCheck::handleStatusRequestFailure(const QString& error)
{
    if (m_running)
        m_statusRequestError = error.isEmpty() ? StatusRequestFailedText : error;
}

void HealthCheck::handleStatusCode(const QString& value)
{
    const double code = NumberText::parseLeading(value);
    quint32 color = m_lastStatusColor;
    if (code == 0)
        color = Green;
    else if (code == 1)
        color = Yellow;
    else if (code == 2)
        color = Red;
    m_model.Shape1->setColour(color);
    m_lastStatusColor = color;
    stationState().PendingReply = 0;
    m_model.Register->setEnabled(code == 0);
    m_model.Query->setEnabled(code == 0);
    if (code != 0)
        m_operator.showSystemMessage(CriticalBoxText, ProgramTitle);
}

void HealthCheck::journalResult(const QString& error)
{
    if (!error.isEmpty()) {
        m_journal.record(
            QStringLiteral("health-check"),
            {{QStringLiteral("verdict"), QStringLiteral("not run")}, {QStringLiteral("error"), error}});
        return;
    }
    const StationState& s = stationState();
    const QString verdict = m_lastStatusColor == Green    ? QStringLiteral("ok")
                            : m_lastStatusColor == Yellow ? QStringLiteral("warning")
                            : m_lastStatusColor == Red    ? QStringLiteral("critical")
                                                          : QStringLiteral("unknown");
    m_journal.record(QStringLiteral("health-check"),
                     {{QStringLiteral("peakAmplitude"), s.PeakAmplitude.toText()},
                      {QStringLiteral("peakPosition"), s.PeakPosition},
                      {QStringLiteral("status"), m_model.Text11->text()},
                      {QStringLiteral("verdict"), verdict}});
}
