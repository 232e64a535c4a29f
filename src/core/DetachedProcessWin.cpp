#include "core/DetachedProcess.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <windows.h>

#include <vector>

namespace {

// One argument as the C runtime's command-line parser reads it back (CommandLineToArgvW rules).
QString quoted(const QString& argument)
{
    if (!argument.isEmpty() && !argument.contains(QRegularExpression(QStringLiteral("[ \t\n\v\"]"))))
        return argument;
    QString out = QStringLiteral("\"");
    int backslashes = 0;
    for (const QChar c : argument) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"')
            out += QString(backslashes * 2 + 1, u'\\');
        else
            out += QString(backslashes, u'\\');
        backslashes = 0;
        out += c;
    }
    out += QString(backslashes * 2, u'\\');
    out += u'"';
    return out;
}

QString systemFolderFile(const wchar_t* name)
{
    wchar_t folder[MAX_PATH];
    const UINT size = ::GetSystemDirectoryW(folder, MAX_PATH);
    return QString::fromWCharArray(folder, int(size)) + u'\\' + QString::fromWCharArray(name);
}

bool isBatchFile(const QString& program)
{
    const QString suffix = QFileInfo(program).suffix().toLower();
    return suffix == QLatin1String("bat") || suffix == QLatin1String("cmd");
}

} // namespace

bool startDetachedProcess(const QString& program, const QStringList& arguments)
{
    if (program.isEmpty())
        return false;
    const QString native = QDir::toNativeSeparators(program);
    QString application;
    QString commandLine;
    if (isBatchFile(native)) {
        // A batch file runs in the command processor; /s takes the whole quoted line as it stands, so
        // blanks in the folder's name survive. The command processor reads its own metacharacters.
        if (!QFileInfo::exists(native))
            return false;
        application = systemFolderFile(L"cmd.exe");
        QStringList words{quoted(native)};
        for (const QString& argument : arguments)
            words << quoted(argument);
        commandLine = quoted(application) + QStringLiteral(" /d /s /c \"") + words.join(u' ') + u'"';
    } else {
        QStringList words{quoted(native)};
        for (const QString& argument : arguments)
            words << quoted(argument);
        commandLine = words.join(u' ');
    }

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_SHOWMINIMIZED;
    PROCESS_INFORMATION process{};
    std::vector<wchar_t> line(size_t(commandLine.size()) + 1, L'\0');
    commandLine.toWCharArray(line.data());
    const BOOL started = ::CreateProcessW(
        application.isEmpty() ? nullptr : reinterpret_cast<const wchar_t*>(application.utf16()), line.data(),
        nullptr, nullptr, FALSE, CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT, nullptr, nullptr,
        &startup, &process);
    if (!started)
        return false;
    // Not waited for: the handles are not needed.
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}
