#include "ScriptedOperator.h"

#include "bench/DialogDriver.h"
#include "bench/SimBench.h"

#include "core/StationState.h"
#include "core/ConsoleModel.h"
#include "core/StationConsole.h"
#include "ui/Frmgrading.h"
#include "ui/MsgBox_.h"
#include "ui/PictureBox.h"
#include "ui/TextBox.h"
#include "app/Station.h"
#include "workflows/StoneWorkflows.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>

#include <cstdio>

namespace {

// How long one step may wait for the console before the operator gives up, in real time per unit of
// scale: a step covers at most one whole registration (under 5 minutes of nominal time).
constexpr int StepBudgetNominalMs = 10 * 60 * 1000;

} // namespace

ScriptedOperator::ScriptedOperator(SimBench& bench, DialogDriver& dialogs, std::vector<Cycle> cycles)
    : m_bench(bench)
    , m_dialogs(dialogs)
    , m_cycles(std::move(cycles))
{
    for (const Cycle& cycle : m_cycles)
        addCycle(cycle);
    connect(&m_poll, &QTimer::timeout, this, &ScriptedOperator::poll);
    StoneWorkflows* workflows = &m_bench.workflows();
    connect(workflows, &StoneWorkflows::busyChanged, this, [this](bool busy) {
        if (busy)
            m_sawSequence = true;
    });
}

void ScriptedOperator::start()
{
    m_stepTime.start();
    m_poll.start(10);
}

bool ScriptedOperator::consoleIdle() const
{
    return !m_bench.workflows().isRunning() && !m_bench.console().isWaiting() &&
           !MsgBox_::instance().isVisible();
}

void ScriptedOperator::click(QWidget* control)
{
    // Posted, so the click is handled by the console's own event loop, not inside this step.
    const QPointF centre(control->width() / 2.0, control->height() / 2.0);
    QCoreApplication::postEvent(control, new QMouseEvent(QEvent::MouseButtonPress, centre,
                                                         control->mapToGlobal(centre), Qt::LeftButton,
                                                         Qt::LeftButton, Qt::NoModifier));
    QCoreApplication::postEvent(control, new QMouseEvent(QEvent::MouseButtonRelease, centre,
                                                         control->mapToGlobal(centre), Qt::LeftButton,
                                                         Qt::NoButton, Qt::NoModifier));
}

void ScriptedOperator::type(QWidget* box, const QString& text)
{
    box->setFocus();
    // Select what is there so the scan replaces it, as the box does when it takes the focus.
    QCoreApplication::postEvent(box, new QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::ControlModifier));
    for (const QChar c : text)
        QCoreApplication::postEvent(box, new QKeyEvent(QEvent::KeyPress, 0, Qt::NoModifier, QString(c)));
    QCoreApplication::postEvent(
        box, new QKeyEvent(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, QStringLiteral("\r")));
}

void ScriptedOperator::addCycle(const Cycle& cycle)
{
    Frmgrading& w = m_bench.window();
    const bool query = cycle.activity == Activity::Query;
    PictureBox* activity = query ? w.Query : w.Register;
    const QString mode = cycle.modePicture;

    m_steps.push_back(
        {QStringLiteral("choose %1").arg(query ? QStringLiteral("Query") : QStringLiteral("Register")),
         [this, activity] { return consoleIdle() && activity->isEnabled(); },
         [this, activity] { click(activity); }});
    m_steps.push_back({QStringLiteral("choose the stone mode %1").arg(mode),
                       [this, &w, mode] {
                           auto* picture = w.findChild<PictureBox*>(mode);
                           return consoleIdle() && picture && picture->isVisible() && picture->isEnabled();
                       },
                       [this, &w, mode] {
                           m_sawSequence = false;
                           click(w.findChild<PictureBox*>(mode));
                       }});
    m_steps.push_back({QStringLiteral("scan the stone id %1").arg(cycle.stoneId),
                       [this, &w] {
                           return m_sawSequence && consoleIdle() && w.Text8->isVisible() &&
                                  w.Text8->isEnabled() && stationState().BackgroundDone;
                       },
                       [this, &w, cycle] {
                           m_sawSequence = false;
                           type(w.Text8, cycle.stoneId);
                       }});
    m_steps.push_back({QStringLiteral("wait for the %1 to end")
                           .arg(query ? QStringLiteral("query") : QStringLiteral("registration")),
                       [this] { return m_sawSequence && consoleIdle(); },
                       [this, &w, cycle] {
                           Outcome outcome;
                           outcome.cycle = cycle;
                           outcome.lotCode = stationState().LotCode.toText();
                           outcome.lastMsg = m_bench.model().msgText();
                           if (cycle.activity == Activity::Query)
                               outcome.queryId = stationState().QueryId;
                           m_outcomes.push_back(outcome);
                       }});
}

void ScriptedOperator::poll()
{
    if (m_bench.console().hasEnded()) {
        m_poll.stop();
        emit finished(false);
        return;
    }
    if (m_next >= m_steps.size()) {
        m_poll.stop();
        emit finished(true);
        return;
    }
    Step& step = m_steps[m_next];
    if (step.ready()) {
        std::printf("operator: %s\n", qPrintable(step.description));
        std::fflush(stdout);
        step.act();
        ++m_next;
        m_stepTime.restart();
        return;
    }
    const qint64 budget = qMax<qint64>(60000, qint64(StepBudgetNominalMs * m_bench.environment().timeScale));
    if (m_stepTime.elapsed() > budget) {
        std::printf("operator: gave up waiting to %s\n", qPrintable(step.description));
        m_poll.stop();
        emit finished(false);
    }
}
