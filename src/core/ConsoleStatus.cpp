#include "core/ConsoleStatus.h"

#include "core/BlockingCall.h"
#include "core/ConsoleModel.h"

namespace {

// Short calls come and go unseen; from a second on the operator sees what the station waits for.
constexpr int ShowAfterSeconds = 1;
const QString Separator = QStringLiteral(" - ");

} // namespace

ConsoleStatus::ConsoleStatus(ConsoleModel& model, QObject* parent)
    : QObject(parent)
    , m_model(model)
    , m_caption(model.caption())
{
    BlockingCallMonitor& monitor = BlockingCall::monitor();
    connect(&monitor, &BlockingCallMonitor::waiting, this, &ConsoleStatus::showWait);
    connect(&monitor, &BlockingCallMonitor::finished, this, &ConsoleStatus::clearWait);
}

QString ConsoleStatus::waitText(const QString& what, int seconds)
{
    return QStringLiteral("%1 (%2 s)").arg(what).arg(seconds);
}

void ConsoleStatus::beginActivity(const QString& activity, const QString& stone)
{
    m_activity = activity;
    m_stone = stone;
    m_scan = 0;
    m_scans = 0;
    renderTitle();
}

void ConsoleStatus::setScan(int k, int n)
{
    m_scan = k;
    m_scans = n;
    renderTitle();
}

void ConsoleStatus::endActivity()
{
    m_activity.clear();
    m_stone.clear();
    m_scan = 0;
    m_scans = 0;
    renderTitle();
}

void ConsoleStatus::showWait(const QString& what, int seconds)
{
    if (seconds < ShowAfterSeconds)
        return;
    m_wait = waitText(what, seconds);
    m_model.WaitLine->setText(m_wait);
    // Above whatever covers the message area, the motor initialisation's banner included.
    m_model.WaitLine->raise();
    m_model.WaitLine->show();
    renderTitle();
}

void ConsoleStatus::clearWait()
{
    if (m_wait.isEmpty())
        return;
    m_wait.clear();
    m_model.WaitLine->hide();
    m_model.WaitLine->clear();
    renderTitle();
}

void ConsoleStatus::renderTitle()
{
    QStringList parts;
    if (!m_activity.isEmpty()) {
        parts << m_activity;
        if (!m_stone.isEmpty())
            parts << QStringLiteral("stone ") + m_stone;
        if (m_scans > 0)
            parts << QStringLiteral("scan %1 of %2").arg(m_scan).arg(m_scans);
    }
    if (!m_wait.isEmpty())
        parts << m_wait;
    // The designed caption, trailing blank included, is the title whenever nothing else is shown.
    m_model.setCaption(parts.isEmpty() ? m_caption : m_caption.trimmed() + Separator + parts.join(Separator));
}
