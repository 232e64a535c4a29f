#include "ui/ConsoleStatus.h"

#include "core/BlockingCall.h"
#include "ui/Frmgrading.h"

#include <QFrame>
#include <QLabel>

namespace {

// Short calls come and go unseen; from a second on the operator sees what the station waits for.
constexpr int ShowAfterSeconds = 1;
const QString Separator = QStringLiteral(" - ");

} // namespace

ConsoleStatus::ConsoleStatus(Frmgrading& w)
    : QObject(&w)
    , m_w(w)
    , m_caption(w.windowTitle())
{
    // In the free strip between the station labels and the message lines.
    m_line = new QLabel(w.Frame3);
    m_line->setObjectName(QStringLiteral("WaitLine"));
    w.placeTwips(m_line, 360, 3600, 5535, 315);
    QPalette p = m_line->palette();
    p.setColor(QPalette::WindowText, QColor(255, 255, 0));
    m_line->setPalette(p);
    m_line->hide();

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
    m_line->setText(m_wait);
    m_line->show();
    renderTitle();
}

void ConsoleStatus::clearWait()
{
    if (m_wait.isEmpty())
        return;
    m_wait.clear();
    m_line->hide();
    m_line->clear();
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
    m_w.setWindowTitle(parts.isEmpty() ? m_caption : m_caption.trimmed() + Separator + parts.join(Separator));
}
