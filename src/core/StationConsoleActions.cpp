#include "core/ConsoleModel.h"
#include "core/Operator.h"
#include "core/StationConsole.h"
#include "core/StationState.h"

#include <QCoreApplication>
#include <QDir>

// ---- waits

bool StationConsole::TimedWait(int ticks, int intervalMs, const QString& text,
                               const std::function<void()>& beforeYield, const std::function<bool()>& abortIf)
{
    StationState& s = stationState();
    WaitFrame frame;
    frame.ticks = ticks;
    frame.intervalMs = intervalMs;
    frame.savedTicks = s.WaitTicks; // the outer wait's progress, restored when this one ends
    m_waitStack.push_back(frame);

    s.WaitTicks = 0;
    Timer4->setEnabled(false);
    Timer4->setInterval(intervalMs);
    Timer4->setEnabled(true);

    bool completed = true;
    while (s.WaitTicks < ticks) {
        if ((abortIf && abortIf()) || m_ended) {
            completed = false;
            break;
        }
        if (!text.isEmpty())
            setMsg(text);
        if (beforeYield)
            beforeYield();
        // What ran before the yield may have ended the program; nothing may come to wake the yield then.
        if (m_ended) {
            completed = false;
            break;
        }
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents | QEventLoop::AllEvents);
        if ((abortIf && abortIf()) || m_ended) {
            completed = false;
            break;
        }
    }

    const WaitFrame done = m_waitStack.back();
    m_waitStack.pop_back();
    Timer4->setEnabled(false);
    if (m_waitStack.empty() || m_ended) {
        s.WaitTicks = 0;
    } else {
        s.WaitTicks = done.savedTicks;
        Timer4->setInterval(m_waitStack.back().intervalMs);
        Timer4->setEnabled(true);
    }
    return completed;
}

// ---- screen states and console actions

void StationConsole::LockConsole()
{
    ConsoleModel& m = m_model;
    for (ConsoleControl* c : {m.Rough1, m.Splits1, m.Polish1, m.Polish2, m.Polish3, m.Polish4, m.Text8})
        c->setEnabled(false);
    loadPicture(m.Register, QStringLiteral("register.jpg"));
    loadPicture(m.Query, QStringLiteral("Query.jpg"));
    m.Register->setEnabled(false);
    m.Query->setEnabled(false);
    // A move or an initialisation from the settings strip would run nested in the sequence.
    for (ConsoleControl* c : {m.Frame4, m.Command2, m.Command3})
        c->setEnabled(false);
}

void StationConsole::UnlockConsole()
{
    const StationState& s = stationState();
    ConsoleModel& m = m_model;
    m.Text8->setEnabled(true);
    loadPicture(m.Register, s.RegisterActivity.equals(1) ? QStringLiteral("register1.jpg")
                                                         : QStringLiteral("register.jpg"));
    loadPicture(m.Query, s.QueryActivity == 1 ? QStringLiteral("Query1.jpg") : QStringLiteral("Query.jpg"));
    m.Register->setEnabled(true);
    m.Query->setEnabled(true);
    for (ConsoleControl* c : {m.Frame4, m.Command2, m.Command3})
        c->setEnabled(true);
}

void StationConsole::Image7_Click()
{
    ConsoleModel& m = m_model;
    m.Image2[1]->setEnabled(false);
    m.Image1->setEnabled(false);
    m.Image7->hide();
    if (stationState().ActivitySuffix == QLatin1String("_Q")) {
        if (m_hooks.Label_Q_Click)
            m_hooks.Label_Q_Click();
    } else if (m_hooks.Label_R_Click) {
        m_hooks.Label_R_Click();
    }
    if (m_ended)
        return;
    m.Image2[1]->setEnabled(true);
    m.Image1->setEnabled(true);
}

void StationConsole::Form_KeyPress(int key)
{
    if (key == 27)
        stationState().EscapePressed = true;
}

void StationConsole::Label11_Click()
{
    if (m_env.openUrl)
        m_env.openUrl(m_env.downloadUrl);
}

void StationConsole::Label9_Click()
{
    const QString remembered = QDir::currentPath();
    const QString folder =
        m_operator->chooseFolder(QStringLiteral("Select a directory"), m_env.programFolder);
    if (!folder.isEmpty()) {
        const QString native = QDir::toNativeSeparators(folder);
        m_model.Label9->setText(native);
        stationState().DataFolder = native;
    }
    QDir::setCurrent(remembered);
    if (m_hooks.BuildMeasureSampleCommand)
        m_hooks.BuildMeasureSampleCommand();
}

void StationConsole::Image3_Click()
{
    setMsg(QStringLiteral("Starting Machine"));
    const QString batch = programFile(QStringLiteral("VELORA1.bat"));
    if (!m_env.startDetached || !m_env.startDetached(batch, {}))
        setMsg1(QStringLiteral("Cannot start ") + batch);
    m_model.Frame4->hide();
    setMsg(QString());
}

void StationConsole::Register_Click()
{
    StationState& s = stationState();
    ConsoleModel& m = m_model;
    m.Frame4->hide();
    loadPicture(m.Rough1, QStringLiteral("rough.jpg"));
    loadPicture(m.Splits1, QStringLiteral("Splits.jpg"));
    loadPicture(m.Polish1, QStringLiteral("Polish.jpg"));
    for (ConsoleControl* p : {m.Rough1, m.Splits1, m.Polish1})
        p->setEnabled(true);
    for (ConsoleControl* p : {m.Polish2, m.Polish3, m.Polish4})
        p->setEnabled(false);
    for (ConsoleControl* p : {m.Rough1, m.Polish1, m.Splits1})
        p->show();
    for (ConsoleControl* p : {m.Polish2, m.Polish3, m.Polish4})
        p->hide();
    for (ConsoleControl* p : {m.Rough1, m.Polish1, m.Splits1})
        p->moveLeft(2000);
    s.ActivitySuffix = QStringLiteral("_R");
    s.RegisterActivity = 1;
    s.QueryActivity = 0;
    loadPicture(m.Register, QStringLiteral("register1.jpg"));
    loadPicture(m.Query, QStringLiteral("Query.jpg"));
}

void StationConsole::Query_Click()
{
    StationState& s = stationState();
    ConsoleModel& m = m_model;
    m.Frame4->hide();
    loadPicture(m.Rough1, QStringLiteral("Rough_Rough.jpg"));
    loadPicture(m.Splits1, QStringLiteral("Splits_Splits.jpg"));
    loadPicture(m.Polish1, QStringLiteral("Polish_Polish.jpg"));
    loadPicture(m.Polish2, QStringLiteral("Polish_Rough.jpg"));
    loadPicture(m.Polish3, QStringLiteral("Polish_Splits.jpg"));
    loadPicture(m.Polish4, QStringLiteral("Splits_Rough.jpg"));
    for (ConsoleControl* p : {m.Rough1, m.Splits1, m.Polish1, m.Polish2, m.Polish3, m.Polish4}) {
        p->setEnabled(true);
        p->show();
    }
    for (ConsoleControl* p : {m.Rough1, m.Polish1, m.Splits1})
        p->moveLeft(100);
    s.ActivitySuffix = QStringLiteral("_Q");
    s.QueryActivity = 1;
    s.RegisterActivity = 0;
    loadPicture(m.Register, QStringLiteral("register.jpg"));
    loadPicture(m.Query, QStringLiteral("Query1.jpg"));
}
