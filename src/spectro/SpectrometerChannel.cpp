#include "spectro/SpectrometerChannel.h"

#include "core/ConsoleModel.h"
#include "core/Operator.h"
#include "core/StationConsole.h"

#include "core/SpectrometerLink.h"
#include "core/StationState.h"
#include "spectro/ReplyFields.h"

namespace {

const QString Topic = QStringLiteral("OPUS|System");
const QString RequestModeCommand = QStringLiteral("REQUEST_MODE");
const QString ConnectedText = QStringLiteral("Connected to ");
const QString HardwareConnectedText = QStringLiteral(" Machine Hardware Connected");
const QString HardwareNotConnectedText = QStringLiteral("Machine Hardware Not Connected !!! ");
const QString WrongFormatText = QStringLiteral("Data in wrong format.");
const QString OutOfMemoryText = QStringLiteral("Out of memory for DDE.");
const QString NoLinkText = QStringLiteral("No link to the spectrometer software");
constexpr int ConnectTimeoutTenths = 100;
constexpr qint16 ConnectAttemptTimeout = 10000;

} // namespace

SpectrometerChannel::SpectrometerChannel(StationConsole& console, Operator& op, QObject* parent)
    : QObject(parent)
    , m_console(console)
    , m_model(console.model())
    , m_operator(op)
{
    if (SpectrometerLink* link = m_console.link()) {
        connect(link, &SpectrometerLink::notified, this, [this](const QString& item) {
            m_notifiedItem = item;
            ddeLink_LinkNotify();
        });
        connect(link, &SpectrometerLink::linkError, this, [this](int code) { ddeLink_LinkError(code); });
    }
}

void SpectrometerChannel::setHealthCheck(HealthCheckRun run, CheckFailure onFailure)
{
    m_healthCheck = std::move(run);
    m_checkFailure = std::move(onFailure);
}

void SpectrometerChannel::setLinkText(const QString& text)
{
    m_model.ddeLink->setText(text);
}

void SpectrometerChannel::Exit_Click()
{
    StationState& s = stationState();
    s.SpectrometerTimeout = ConnectAttemptTimeout;
    m_console.runCommandLine();
    s.SpectrometerTopic = Topic;
    connectToServer(s.SpectrometerTopic);
}

void SpectrometerChannel::connectToServer(const QString& topic)
{
    StationState& s = stationState();
    SpectrometerLink* link = m_console.link();
    QString error;
    if (!link) {
        failConnection(NoLinkText);
        return;
    }
    if (!link->openConversation(topic, ConnectTimeoutTenths, &error)) {
        failConnection(error);
        return;
    }
    link->setReplyTimeout(s.SpectrometerTimeout);
    setLinkText(ConnectedText + topic);
    if (!SendSpectrometerCommand(RequestModeCommand)) {
        failConnection(m_lastError);
        return;
    }
    m_console.Timer5->setEnabled(false);
    m_model.setMsg(HardwareConnectedText);
    m_operator.TimedWait(2);
    if (m_healthCheck && !m_healthCheck(&error)) {
        if (m_checkFailure)
            m_checkFailure(error);
        else
            failConnection(error);
    }
}

void SpectrometerChannel::failConnection(const QString& error)
{
    // Timer5 keeps its state: an attempt that failed before disabling it is repeated.
    setLinkText(error);
    m_model.setMsg(HardwareNotConnectedText);
}

bool SpectrometerChannel::SendSpectrometerCommand(const QString& text)
{
    m_linkItem = text;
    SpectrometerLink* link = m_console.link();
    if (!link) {
        m_lastError = NoLinkText;
        return false;
    }
    QString error;
    if (!link->advise(text, &error)) {
        m_lastError = error;
        return false;
    }
    return true;
}

void SpectrometerChannel::ddeLink_LinkNotify()
{
    StationState& s = stationState();
    setLinkText(QString());
    for (ConsoleControl* field : m_model.Text7)
        field->clear();

    // A failed request leaves the reply empty; the fields are filled from the empty text.
    QString reply;
    QString requestError = NoLinkText;
    bool requested = false;
    if (SpectrometerLink* link = m_console.link()) {
        QByteArray value;
        const QString item = m_linkItem.isEmpty() ? m_notifiedItem : m_linkItem;
        requestError.clear();
        requested = link->request(item, &value, &requestError);
        if (requested)
            reply = ReplyFields::decode(value);
    }
    setLinkText(reply);

    const ReplyFields fields = ReplyFields::split(reply);
    m_model.Text7[0]->setText(fields.field0);
    m_model.Text7[1]->setText(fields.field1);
    m_model.Text7[2]->setText(fields.field2);

    const QString value = ReplyFields::valueOf(reply);
    const bool statusPending = s.PendingReply.equals(3) || s.PendingReply.equals(4);
    if (statusPending && !requested) {
        // An empty reply would read as status 0, "All OK".
        s.PendingReply = 0;
        if (m_handlers.statusRequestFailed)
            m_handlers.statusRequestFailed(requestError);
    } else if (s.PendingReply.equals(2)) {
        s.PeakPosition = value;
        s.PendingReply = 0;
    } else if (s.PendingReply.equals(1)) {
        s.PeakAmplitude = value;
        s.PendingReply = 0;
    } else if (s.PendingReply.equals(3)) {
        if (m_handlers.statusMessage)
            m_handlers.statusMessage(value);
        else
            s.PendingReply = 0;
    } else if (s.PendingReply.equals(4)) {
        if (m_handlers.statusCode)
            m_handlers.statusCode(value);
        else
            s.PendingReply = 0;
    }
    m_model.setMsg1(reply);
}

void SpectrometerChannel::ddeLink_LinkError(int code)
{
    if (code == 1)
        setLinkText(WrongFormatText);
    else if (code == 11)
        setLinkText(OutOfMemoryText);
}
