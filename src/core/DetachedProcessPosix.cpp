#include "core/DetachedProcess.h"

#include <QProcess>

bool startDetachedProcess(const QString& program, const QStringList& arguments)
{
    if (program.isEmpty())
        return false;
    QProcess process;
    process.setProgram(program);
    process.setArguments(arguments);
    return process.startDetached();
}
