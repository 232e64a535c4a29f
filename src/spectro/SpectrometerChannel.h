#pragma once

#include <QObject>
#include <QString>

#include <functional>

class ConsoleModel;
class Operator;
class StationConsole;

// The command channel to the spectrometer software through the window's link: connection,
// sending commands as advised items, and reading each announced result into the reply fields.
class SpectrometerChannel : public QObject
{
    Q_OBJECT
public:
    // Handlers of the reply kinds the health check waits for; they get characters 3 to 12.
    struct ReplyHandlers
    {
        std::function<void(const QString& value)> statusMessage; // PendingReply 3
        std::function<void(const QString& value)> statusCode;    // PendingReply 4
        // PendingReply 3 or 4 whose request failed: there is no status to read.
        std::function<void(const QString& error)> statusRequestFailed;
    };
    // Runs the health check after a connection; false with a description when a send failed.
    using HealthCheckRun = std::function<bool(QString* error)>;
    // What a failed check does (shared with the checks started by a click or the timer).
    using CheckFailure = std::function<void(const QString& error)>;

    explicit SpectrometerChannel(StationConsole& console, Operator& op, QObject* parent = nullptr);

    void setReplyHandlers(ReplyHandlers handlers) { m_handlers = std::move(handlers); }
    void setHealthCheck(HealthCheckRun run, CheckFailure onFailure);

    void connectToServer(const QString& topic);
    void Exit_Click();
    bool SendSpectrometerCommand(const QString& text);
    void ddeLink_LinkNotify();
    void ddeLink_LinkError(int code);

    // The description of the last failed send.
    QString lastError() const { return m_lastError; }
    // The item the next notification's value is requested for.
    QString linkItem() const { return m_linkItem; }
    // The link control's text (the last reply or error description).
    void setLinkText(const QString& text);

private:
    void failConnection(const QString& error);

    StationConsole& m_console;
    ConsoleModel& m_model;
    Operator& m_operator;
    ReplyHandlers m_handlers;
    HealthCheckRun m_healthCheck;
    CheckFailure m_checkFailure;
    QString m_linkItem;
    QString m_notifiedItem;
    QString m_lastError;
};
