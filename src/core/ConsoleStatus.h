#pragma once

#include <QObject>
#include <QString>

class ConsoleModel;

// What the console shows besides its designed controls: while a call is in flight, what it waits
// for and how long, in a status line (WaitLine) above the message lines and in the window title; while a
// sequence runs, the activity, the stone and the scan in the window title. The designed caption
// comes back when both are over.
class ConsoleStatus : public QObject
{
    Q_OBJECT
public:
    ConsoleStatus(ConsoleModel& model, QObject* parent = nullptr);

    void beginActivity(const QString& activity, const QString& stone);
    // Scan k (from 1) of n.
    void setScan(int k, int n);
    void endActivity();

    // "Waiting for the server (12 s)"
    static QString waitText(const QString& what, int seconds);

private:
    void showWait(const QString& what, int seconds);
    void clearWait();
    void renderTitle();

    ConsoleModel& m_model;
    QString m_caption;
    QString m_activity;
    QString m_stone;
    int m_scan = 0;
    int m_scans = 0;
    QString m_wait;
};

// A sequence's entry in the window title, from its start to whichever way it ends.
class ActivityCaption
{
public:
    ActivityCaption(ConsoleStatus& status, const QString& activity, const QString& stone)
        : m_status(status)
    {
        m_status.beginActivity(activity, stone);
    }
    ~ActivityCaption() { m_status.endActivity(); }
    ActivityCaption(const ActivityCaption&) = delete;
    ActivityCaption& operator=(const ActivityCaption&) = delete;

    void setScan(int k, int n) { m_status.setScan(k, n); }

private:
    ConsoleStatus& m_status;
};
