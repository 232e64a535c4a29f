#include "core/DetachedProcess.h"

#include <QProcess>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

bool startDetachedProcess(const QString& program, const QStringList& arguments)
{
    if (program.isEmpty())
        return false;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
#ifdef Q_OS_WIN
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments* args) {
        args->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        args->startupInfo->wShowWindow = SW_SHOWMINIMIZED;
    });
#endif
    return process.startDetached();
}
