#include "spectro/DdeSpectrometerLink.h"

#include "core/BlockingCall.h"
#include "dde/DdeConversation.h"

namespace {

const QString NotConnectedText = QStringLiteral("Spectrometer link not connected");
const QString DroppedText = QStringLiteral("Spectrometer link dropped");
const QString WaitingForSoftware = QStringLiteral("Waiting for the spectrometer software");

// Waits are cut into slices so the console repaints between them.
constexpr DWORD SliceMs = 40;

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

// The software's DDE conversation held by the station itself: the same conversation code as the link
// bridge's, so the software sees the same transactions either way. Calls block on the event-loop
// thread as the TCP link's do (BlockingCall); announcements that arrive meanwhile wait and are
// emitted from the event loop, in order.
class DdeLink final : public SpectrometerLink
{
public:
    DdeLink()
    {
        m_dde.setNotifyHandler([this](const std::string& item) {
            queueNotification(QString::fromStdString(item));
            scheduleNotifications();
        });
        m_dde.setDisconnectHandler([this] { m_downReason = DroppedText; });
        m_dde.setWait([this](DWORD ms, const std::function<bool()>& finished) {
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, std::min(ms, SliceMs), QS_ALLINPUT);
            // DDEML answers with posted messages; the call's pump hands them to DDEML with the
            // painting, and holds back input and the station's own work.
            if (m_call)
                m_call->pump();
            return finished() || true;
        });
        std::string error;
        if (!m_dde.initialise(&error))
            m_initError = QString::fromStdString(error);
    }

    bool openConversation(const QString& topic, int timeoutTenths, QString* error) override
    {
        if (!m_initError.isEmpty()) {
            setError(error, m_initError);
            return false;
        }
        m_dde.disconnect();
        clearNotifications();
        const qsizetype bar = topic.indexOf(u'|');
        const QString service = bar < 0 ? topic : topic.left(bar);
        const QString name = bar < 0 ? QString() : topic.mid(bar + 1);
        m_dde.setTimeoutMs(DWORD(qMax(timeoutTenths, 0)) * 100);
        std::string why;
        const bool opened =
            call([&] { return m_dde.connect(service.toStdString(), name.toStdString(), &why); });
        m_dde.setTimeoutMs(DWORD(qMax(m_replyTimeoutTenths, 0)) * 100);
        if (!opened) {
            m_downReason = QString::fromStdString(why);
            setError(error, m_downReason);
            return false;
        }
        m_downReason.clear();
        return true;
    }

    void setReplyTimeout(int tenths) override
    {
        m_replyTimeoutTenths = tenths;
        m_dde.setTimeoutMs(DWORD(qMax(tenths, 0)) * 100);
    }

    bool advise(const QString& item, QString* error) override
    {
        return transact(error, [&](std::string* why) { return m_dde.advise(item.toStdString(), why); });
    }

    bool request(const QString& item, QByteArray* value, QString* error) override
    {
        std::string bytes;
        const bool ok =
            transact(error, [&](std::string* why) { return m_dde.request(item.toStdString(), &bytes, why); });
        if (ok && value)
            *value = QByteArray::fromStdString(bytes);
        return ok;
    }

    bool execute(const QString& command, QString* error) override
    {
        return transact(error, [&](std::string* why) { return m_dde.execute(command.toStdString(), why); });
    }

    bool isConnected() const override { return m_dde.isOpen(); }

private:
    template <typename Work> bool call(Work work)
    {
        BlockingCall blocking(WaitingForSoftware);
        m_call = &blocking;
        const bool ok = work();
        m_call = nullptr;
        // An announcement right behind the acknowledgement belongs after this call.
        m_dde.deliverQueued();
        scheduleNotifications();
        return ok;
    }

    template <typename Work> bool transact(QString* error, Work work)
    {
        if (!m_dde.isOpen()) {
            setError(error, m_downReason.isEmpty() ? NotConnectedText : m_downReason);
            return false;
        }
        std::string why;
        if (call([&] { return work(&why); }))
            return true;
        setError(error, QString::fromStdString(why));
        return false;
    }

    DdeConversation m_dde;
    QString m_initError;
    QString m_downReason = NotConnectedText;
    int m_replyTimeoutTenths = 100;
    BlockingCall* m_call = nullptr;
};

} // namespace

namespace DdeSpectrometerLink {

bool available()
{
    return true;
}

std::unique_ptr<SpectrometerLink> make()
{
    return std::make_unique<DdeLink>();
}

} // namespace DdeSpectrometerLink
