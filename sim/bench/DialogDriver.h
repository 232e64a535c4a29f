#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

class Operator;
class StationConsole;

// Answers the station's yes/no questions from a script and closes the system message boxes,
// recording everything that was shown. At a window it presses the dialogs' real buttons; at a
// console without a window it is asked by the operator headlessOperator() seats there.
class DialogDriver : public QObject
{
public:
    static constexpr int Yes = 6;
    static constexpr int No = 7;

    struct Asked
    {
        QString message;
        QString title;
        int answer = 0;
        bool expected = true; // false: it did not match the next scripted question
    };
    struct SystemBox
    {
        QString text;
        QString title;
        bool withIcon = false;
    };

    // closeSystemBoxes: also watch for system message boxes (a poll every millisecond).
    explicit DialogDriver(bool closeSystemBoxes = true);
    ~DialogDriver() override;

    // The next question must be (message, title); it is answered with answer. before runs when it
    // is shown, ahead of the press (to change a peer's behaviour for the repeat, for example).
    DialogDriver& expect(const QString& message, const QString& title, int answer,
                         std::function<void()> before = {});
    // The answer given to questions that do not match the script (default No, which ends sequences).
    void setUnexpectedAnswer(int answer) { m_unexpectedAnswer = answer; }
    // Runs whenever a system message box is shown, before it is closed.
    void setOnSystemBox(std::function<void(const SystemBox&)> action) { m_onSystemBox = std::move(action); }

    const QList<Asked>& asked() const { return m_asked; }
    QStringList askedTitles() const;
    const QList<SystemBox>& systemBoxes() const { return m_systemBoxes; }
    // Scripted questions that were never asked.
    int pending() const { return static_cast<int>(m_script.size()); }
    // Questions that were asked but not scripted, as "message | title".
    QStringList unexpected() const;

    // An operator for a console without a window: the live driver (the last one made) answers its
    // questions and sees its boxes; without one every question is answered No.
    static std::unique_ptr<Operator> headlessOperator(StationConsole& console);

private:
    struct Expected
    {
        QString message;
        QString title;
        int answer = No;
        std::function<void()> before;
    };

    friend class HeadlessOperator;
    // Records the question and runs its action; the answer to give.
    int answer(const QString& message, const QString& title);
    void questionShown(const QString& message, const QString& title);
    void systemBoxShown(const SystemBox& shown);
    void pollSystemBoxes();

    std::deque<Expected> m_script;
    QList<Asked> m_asked;
    QList<SystemBox> m_systemBoxes;
    int m_unexpectedAnswer = No;
    std::function<void(const SystemBox&)> m_onSystemBox;
    QTimer m_poll;
    QMetaObject::Connection m_connection;
};
