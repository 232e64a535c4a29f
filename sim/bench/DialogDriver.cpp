#include "bench/DialogDriver.h"

#include "core/Operator.h"
#include "core/StationConsole.h"
#include "ui/MsgBox_.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace {

DialogDriver* liveDriver = nullptr;

} // namespace

DialogDriver::DialogDriver(bool closeSystemBoxes)
{
    liveDriver = this;
    MsgBox_& box = MsgBox_::instance();
    m_connection =
        connect(&box, &MsgBox_::questionShown, this,
                [this](const QString& message, const QString& title) { questionShown(message, title); });
    connect(&m_poll, &QTimer::timeout, this, &DialogDriver::pollSystemBoxes);
    if (closeSystemBoxes)
        m_poll.start(1);
}

DialogDriver::~DialogDriver()
{
    if (liveDriver == this)
        liveDriver = nullptr;
    disconnect(m_connection);
}

DialogDriver& DialogDriver::expect(const QString& message, const QString& title, int answer,
                                   std::function<void()> before)
{
    m_script.push_back({message, title, answer, std::move(before)});
    return *this;
}

QStringList DialogDriver::askedTitles() const
{
    QStringList titles;
    for (const Asked& a : m_asked)
        titles << a.title;
    return titles;
}

QStringList DialogDriver::unexpected() const
{
    QStringList list;
    for (const Asked& a : m_asked)
        if (!a.expected)
            list << a.message + QStringLiteral(" | ") + a.title;
    return list;
}

int DialogDriver::answer(const QString& message, const QString& title)
{
    Asked asked{message, title, m_unexpectedAnswer, false};
    std::function<void()> before;
    if (!m_script.empty() && m_script.front().message == message && m_script.front().title == title) {
        asked.answer = m_script.front().answer;
        asked.expected = true;
        before = std::move(m_script.front().before);
        m_script.pop_front();
    }
    m_asked.push_back(asked);
    if (before)
        before();
    return asked.answer;
}

void DialogDriver::questionShown(const QString& message, const QString& title)
{
    // Pressed from the dialog's own wait, as the operator would.
    const int answer = this->answer(message, title);
    QTimer::singleShot(0, this, [answer] {
        MsgBox_& box = MsgBox_::instance();
        QPushButton* button = answer == Yes ? box.cmdOK : box.cmdCancel;
        if (box.isAsking())
            button->click();
    });
}

void DialogDriver::pollSystemBoxes()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (!box || !box->isVisible() || box->objectName() != QLatin1String("SystemMessageBox"))
            continue;
        QPointer<QMessageBox> guard(box);
        systemBoxShown({box->text(), box->windowTitle(), box->icon() != QMessageBox::NoIcon});
        if (guard && guard->button(QMessageBox::Ok))
            guard->button(QMessageBox::Ok)->click();
    }
}

void DialogDriver::systemBoxShown(const SystemBox& shown)
{
    m_systemBoxes.push_back(shown);
    if (m_onSystemBox)
        m_onSystemBox(shown);
}

// ---- at a console without a window

class HeadlessOperator : public Operator
{
public:
    explicit HeadlessOperator(StationConsole& console)
        : m_console(console)
    {
    }

    bool TimedWait(int ticks, int intervalMs, const QString& text, const std::function<void()>& beforeYield,
                   const std::function<bool()>& abortIf) override
    {
        return m_console.TimedWait(ticks, intervalMs, text, beforeYield, abortIf);
    }
    bool isWaiting() const override { return m_console.isWaiting(); }
    int AskOperator(const QString& message, const QString& title) override
    {
        m_asking = true;
        const int given = liveDriver ? liveDriver->answer(message, title) : DialogDriver::No;
        m_asking = false;
        return given;
    }
    bool isAsking() const override { return m_asking; }
    void showSystemMessage(const QString& text, const QString& title, Icon icon) override
    {
        if (liveDriver)
            liveDriver->systemBoxShown({text, title, icon != Icon::None});
    }
    QString chooseFolder(const QString&, const QString&) override { return QString(); }
    void LockConsole() override { m_console.LockConsole(); }
    void UnlockConsole() override { m_console.UnlockConsole(); }

private:
    StationConsole& m_console;
    bool m_asking = false;
};

std::unique_ptr<Operator> DialogDriver::headlessOperator(StationConsole& console)
{
    return std::make_unique<HeadlessOperator>(console);
}
