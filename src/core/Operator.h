#pragma once

#include <QString>

#include <functional>

// What the station needs of a person or of the event loop: timed waits, questions, message boxes,
// a folder choice and the console lock. The window implements it for the operator; tests answer
// from a script.
class Operator
{
public:
    enum class Icon { None, Information, Warning, Critical };
    static constexpr int Yes = 6;
    static constexpr int No = 7;

    virtual ~Operator() = default;

    // Yields to the event loop for ticks x intervalMs (nominal), writing text into Msg before every
    // yield when given. beforeYield runs before every yield; abortIf is tested before and after
    // every yield and ends the wait early (returns false), as the end of the program does. Waits
    // nest: an inner wait pauses the outer one's count and restores it when it ends.
    virtual bool TimedWait(int ticks, int intervalMs = 1000, const QString& text = QString(),
                           const std::function<void()>& beforeYield = {},
                           const std::function<bool()>& abortIf = {}) = 0;
    virtual bool isWaiting() const = 0;

    // The station's yes/no question: Yes (6) for "OK - YES", No (7) otherwise.
    virtual int AskOperator(const QString& message, const QString& title) = 0;
    // The same question with the dialog left where it was last shown (top-left before its first
    // use) instead of centred over the console; without a window there is nothing to place.
    virtual int ShowMessage(const QString& message, const QString& title)
    {
        return AskOperator(message, title);
    }
    // A question is open (the station's own dialog).
    virtual bool isAsking() const = 0;

    // The system's message box with one OK button.
    virtual void showSystemMessage(const QString& text, const QString& title, Icon icon = Icon::None) = 0;

    // A folder the operator picks, starting in start; empty when none was picked.
    virtual QString chooseFolder(const QString& title, const QString& start) = 0;

    // While a sequence runs, the operator cannot start another from the console.
    virtual void LockConsole() = 0;
    virtual void UnlockConsole() = 0;
};
