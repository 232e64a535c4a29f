#pragma once

#include <QString>

#include <functional>

class ConsoleModel;
class Operator;
class StationConsole;
class Journal;
class SpectrometerChannel;

// The instrument health check: peak amplitude and position of the stored background and the two
// diagnostic statuses, shown on the console (status word, lamp, Register/Query), then handed to
// the server telemetry.
class HealthCheck
{
public:
    static constexpr quint32 Green = 65280;
    static constexpr quint32 Yellow = 65535;
    static constexpr quint32 Red = 255;

    HealthCheck(StationConsole& console, Operator& op, SpectrometerChannel& channel, Journal& journal,
                std::function<void()> afterCheck);

    // The whole check as started by a click or the timer; a failure is reported (see failed()).
    void Image1_Click();
    // The whole check; false with the failing send's description.
    bool run(QString* error);
    // What a check that could not send does: the connection's failure report, and automatic
    // reconnection when the link is down.
    void failed(const QString& error);

    void Command17_Click();
    void Command20_Click();
    void Command21_Click();
    void Command22_Click();
    bool requestPeakAmplitude(QString* error);
    bool requestPeakPosition(QString* error);
    bool requestStatusMessage(QString* error);
    bool requestStatusCode(QString* error);

    // Reply handling of the status message (PendingReply 3) and status code (PendingReply 4).
    void handleStatusMessage(const QString& value);
    void handleStatusCode(const QString& value);
    // A status request that failed inside the notification: the check fails, nothing turns green.
    void handleStatusRequestFailure(const QString& error);

    quint32 lastStatusColor() const { return m_lastStatusColor; }
    bool isRunning() const { return m_running; }

private:
    bool send(const QString& text, QString* error);
    void setStatusTextColor(quint32 color);
    void journalResult(const QString& error);

    StationConsole& m_console;
    ConsoleModel& m_model;
    Operator& m_operator;
    SpectrometerChannel& m_channel;
    std::function<void()> m_afterCheck;
    Journal& m_journal;
    quint32 m_lastStatusColor = 0;
    bool m_running = false;
    QString m_statusRequestError; // set by a failed status request during the running check
};
