#include "server/ServerClient.h"

#include "core/ConsoleModel.h"
#include "core/StationConsole.h"
#include "core/StationState.h"
#include "server/JsonText.h"
#include "server/ServerClientShared.h"

using ServerClientShared::json;

namespace {

const QString machineStatusPath = QStringLiteral("/diamond/machineStatus");

QString lampColourName(quint32 colour)
{
    switch (colour) {
    case 65280:
        return QStringLiteral("GREEN");
    case 65535:
        return QStringLiteral("YELLOW");
    case 255:
        return QStringLiteral("RED");
    case 16711935:
        return QStringLiteral("MAGENTA");
    default:
        return QString();
    }
}

} // namespace

void ServerClient::ReadEnvironmentPage()
{
    const QString connectionError = QStringLiteral("Scanner Connection Error.");
    HttpRequest request(m_limits);
    const HttpReply reply = request.send("GET", m_console.environment().diagPageUrl, {});
    if (!reply.completed) {
        m_lastError = reply.error;
        m_model.setMsg1(connectionError);
        return;
    }
    if (reply.status != 200) {
        m_model.setMsg1(QStringLiteral("Error: Scanner not available."));
        return;
    }
    const QString page = reply.text();
    if (page.isEmpty()) {
        m_model.setMsg1(QStringLiteral("Error: Page returned empty data."));
        return;
    }
    bool okT = false;
    bool okRh = false;
    bool okAh = false;
    const QString t = ExtractTaggedValue(page, QStringLiteral("SCRTMPCORR"), &okT);
    const QString rh = ExtractTaggedValue(page, QStringLiteral("SCRHUMREL"), &okRh);
    const QString ah = ExtractTaggedValue(page, QStringLiteral("SCRHUMABS"), &okAh);
    if (!okT || !okRh || !okAh) {
        m_lastError = QStringLiteral("A value of the diagnostics page is not closed by \"<\"");
        m_model.setMsg1(connectionError);
        return;
    }
    m_model.Label23->setText(QStringLiteral("Temp  = ") + t);
    m_model.Label24->setText(QStringLiteral("Rel-H = ") + rh);
    m_model.Label25->setText(QStringLiteral("Abs-H = ") + ah);
    StationState& s = stationState();
    s.Temperature = t;
    s.RelativeHumidity = rh;
    s.AbsoluteHumidity = ah;
}

void ServerClient::SendMachineStatus()
{
    const StationState& s = stationState();
    const RequestBodies::Station who = station();
    // One request object for all six reports, each on a connection of its own.
    HttpRequest request(m_limits);
    const std::vector<HttpRequest::Header> headers{
        {"Authorization", bearer().toUtf8()}, {"Content-Type", json}, {"Accept", json}};
    const QString address = veloraBase() + machineStatusPath;
    QString lastReply;

    auto report = [&](const QString& action, const QByteArray& value, const QString& label) {
        const HttpReply reply =
            request.send("POST", address, headers, RequestBodies::machineStatus(who, action, value));
        if (!reply.completed) {
            m_lastError = reply.error;
            m_model.setMsg(lastReply);
            return false;
        }
        lastReply = reply.text();
        m_model.Text10->setText(lastReply);
        m_model.setMsg(label + lastReply);
        return true;
    };

    // The numeric members carry null when the value is empty or not a number, so the body
    // stays JSON.
    if (!report(QStringLiteral("PEAK_VALUE"), JsonText::numberOrNull(s.PeakAmplitude.toText()),
                QStringLiteral("Peak Value Uploaded ")))
        return;
    if (!report(QStringLiteral("Temperature"), JsonText::numberOrNull(s.Temperature.toText()),
                QStringLiteral("Temperature Value Uploaded ")))
        return;
    if (!report(QStringLiteral("Relative-Humidity"), JsonText::numberOrNull(s.RelativeHumidity.toText()),
                QStringLiteral("Relative Humidity Value Uploaded ")))
        return;
    if (!report(QStringLiteral("Absolute-Humidity"), JsonText::numberOrNull(s.AbsoluteHumidity),
                QStringLiteral("Absolute Humidity Value Uploaded ")))
        return;
    if (!report(QStringLiteral("Status"), RequestBodies::quoted(m_model.Text11->text()),
                QStringLiteral("Machine Status ")))
        return;
    report(QStringLiteral("Machine_Status"),
           RequestBodies::quoted(lampColourName(m_model.Shape1->colour().value_or(16711935))),
           QStringLiteral("Machine Status Uploaded "));
}
