#pragma once

#include "core/Operator.h"

class Frmgrading;
class StationConsole;

// The operator at the console's window: questions in the station's own dialog centred over it (or
// left where it was), system message boxes, the folder dialog; waits and the console lock are the
// console's.
class WidgetOperator : public Operator
{
public:
    WidgetOperator(StationConsole& console, Frmgrading& window);

    bool TimedWait(int ticks, int intervalMs, const QString& text, const std::function<void()>& beforeYield,
                   const std::function<bool()>& abortIf) override;
    bool isWaiting() const override;
    int AskOperator(const QString& message, const QString& title) override;
    int ShowMessage(const QString& message, const QString& title) override;
    bool isAsking() const override;
    void showSystemMessage(const QString& text, const QString& title, Icon icon) override;
    QString chooseFolder(const QString& title, const QString& start) override;
    void LockConsole() override;
    void UnlockConsole() override;

private:
    StationConsole& m_console;
    Frmgrading& m_window;
};
