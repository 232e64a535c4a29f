#pragma once

#include "core/ConsoleModel.h"
#include "core/Operator.h"
#include "core/StationConsole.h"

#include <QList>
#include <QStringList>

#include <functional>

// Answers the console's questions from a script and records what the station showed; its waits run
// on the event loop as the window's do.
class AnsweringOperator : public Operator
{
public:
    struct Question
    {
        QString message;
        QString title;
    };
    struct Box
    {
        QString text;
        QString title;
        Icon icon;
    };

    explicit AnsweringOperator(StationConsole& console)
        : m_console(console)
    {
    }

    // Taken in order; once used up every question gets defaultAnswer.
    QList<int> answers;
    int defaultAnswer = Yes;
    QList<Question> questions;
    QList<Box> boxes;
    // Folders picked in order; once used up none is picked.
    QStringList folders;
    int locks = 0;
    int unlocks = 0;
    QStringList boxTitles() const
    {
        QStringList titles;
        for (const Box& box : boxes)
            titles << box.title;
        return titles;
    }
    // Runs while a question is open, before it is answered.
    std::function<void(const Question&)> onQuestion;

    bool TimedWait(int ticks, int intervalMs = 1000, const QString& text = QString(),
                   const std::function<void()>& beforeYield = {},
                   const std::function<bool()>& abortIf = {}) override
    {
        return m_console.TimedWait(ticks, intervalMs, text, beforeYield, abortIf);
    }
    bool isWaiting() const override { return m_console.isWaiting(); }

    int AskOperator(const QString& message, const QString& title) override
    {
        questions.push_back({message, title});
        m_asking = true;
        if (onQuestion)
            onQuestion(questions.back());
        m_asking = false;
        return answers.isEmpty() ? defaultAnswer : answers.takeFirst();
    }
    bool isAsking() const override { return m_asking; }

    void showSystemMessage(const QString& text, const QString& title, Icon icon = Icon::None) override
    {
        boxes.push_back({text, title, icon});
    }

    QString chooseFolder(const QString&, const QString&) override
    {
        return folders.isEmpty() ? QString() : folders.takeFirst();
    }

    void LockConsole() override
    {
        ++locks;
        m_console.LockConsole();
    }
    void UnlockConsole() override
    {
        ++unlocks;
        m_console.UnlockConsole();
    }

private:
    StationConsole& m_console;
    bool m_asking = false;
};

// The console without a window: its model, its procedures and a scripted operator.
struct TestConsole
{
    explicit TestConsole(StationEnvironment environment)
        : console(std::move(environment), model)
        , op(console)
    {
        console.setOperator(op);
        // No window to close: a close asked for runs the unload, as the station without one does.
        QObject::connect(&model, &ConsoleModel::closeRequested, &console,
                         [this] { console.requestUnload(); });
    }

    ConsoleModel model;
    StationConsole console;
    AnsweringOperator op;
};
