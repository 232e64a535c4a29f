#include "ui/WidgetOperator.h"

#include "core/StationConsole.h"
#include "ui/Frmgrading.h"
#include "ui/MsgBox_.h"

#include <QFileDialog>
#include <QMessageBox>

WidgetOperator::WidgetOperator(StationConsole& console, Frmgrading& window)
    : m_console(console)
    , m_window(window)
{
}

bool WidgetOperator::TimedWait(int ticks, int intervalMs, const QString& text,
                               const std::function<void()>& beforeYield, const std::function<bool()>& abortIf)
{
    return m_console.TimedWait(ticks, intervalMs, text, beforeYield, abortIf);
}

bool WidgetOperator::isWaiting() const
{
    return m_console.isWaiting();
}

int WidgetOperator::AskOperator(const QString& message, const QString& title)
{
    MsgBox_& box = MsgBox_::instance();
    box.centreOver(m_window.frameGeometry());
    return box.ShowMessage(message, 4, title);
}

int WidgetOperator::ShowMessage(const QString& message, const QString& title)
{
    return MsgBox_::instance().ShowMessage(message, 4, title);
}

bool WidgetOperator::isAsking() const
{
    return MsgBox_::instance().isAsking();
}

void WidgetOperator::showSystemMessage(const QString& text, const QString& title, Icon icon)
{
    static constexpr QMessageBox::Icon icons[] = {QMessageBox::NoIcon, QMessageBox::Information,
                                                  QMessageBox::Warning, QMessageBox::Critical};
    QMessageBox box(icons[static_cast<int>(icon)], title, text, QMessageBox::Ok,
                    m_window.isVisible() ? &m_window : nullptr);
    box.setObjectName(QStringLiteral("SystemMessageBox"));
    box.exec();
}

QString WidgetOperator::chooseFolder(const QString& title, const QString& start)
{
    return QFileDialog::getExistingDirectory(&m_window, title, start);
}

void WidgetOperator::LockConsole()
{
    m_console.LockConsole();
}

void WidgetOperator::UnlockConsole()
{
    m_console.UnlockConsole();
}
