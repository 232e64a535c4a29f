#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>
#include <vector>

class DialogDriver;
class QWidget;
class SimBench;

// An operator who works the console through its real controls: clicks the pictures, types the stone
// id into the box and presses Enter, and answers every question with "OK - YES". Each step waits
// until the console is ready for it, as a person would.
class ScriptedOperator : public QObject
{
    Q_OBJECT
public:
    enum class Activity { Register, Query };
    struct Cycle
    {
        Activity activity = Activity::Register;
        QString modePicture; // object name of the stone-mode picture: Rough1, Polish2, ...
        QString stoneId;
    };
    struct Outcome
    {
        Cycle cycle;
        QString lotCode; // lot code the station obtained for the stone
        QString lastMsg; // the progress line when the sequence ended
        QString queryId; // for queries: the id shown at the end
    };

    ScriptedOperator(SimBench& bench, DialogDriver& dialogs, std::vector<Cycle> cycles);

    void start();
    const std::vector<Outcome>& outcomes() const { return m_outcomes; }

signals:
    void finished(bool completed);

private:
    struct Step
    {
        QString description;
        std::function<bool()> ready;
        std::function<void()> act;
    };

    bool consoleIdle() const;
    void click(QWidget* control);
    void type(QWidget* box, const QString& text);
    void poll();
    void addCycle(const Cycle& cycle);

    SimBench& m_bench;
    DialogDriver& m_dialogs;
    std::vector<Cycle> m_cycles;
    std::vector<Step> m_steps;
    std::vector<Outcome> m_outcomes;
    size_t m_next = 0;
    bool m_sawSequence = false;
    QTimer m_poll;
    QElapsedTimer m_stepTime;
};
