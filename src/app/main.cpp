#include "ProductionEnvironment.h"
#include "SiteEnvironment.h"

#include "app/Station.h"
#include "core/StationConsole.h"
#include "ui/Frmgrading.h"
#include "ui/StartupSplash.h"

#include <QApplication>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// The words after the program's name, as given.
QStringList commandWords(int argc, char** argv)
{
    QStringList words;
#ifdef Q_OS_WIN
    int count = 0;
    if (LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
        for (int i = 1; i < count; ++i)
            words << QString::fromWCharArray(wide[i]);
        ::LocalFree(wide);
        return words;
    }
#endif
    for (int i = 1; i < argc; ++i)
        words << QString::fromLocal8Bit(argv[i]);
    return words;
}

} // namespace

int main(int argc, char** argv)
{
    // The program takes no options: whatever follows its name is a command to run, so Qt sees only
    // the name (it would take -platform, -style ... as its own and remove them).
    const QStringList commandLine = commandWords(argc, argv);
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    app.setQuitOnLastWindowClosed(false);
    StationEnvironment env = productionEnvironment(commandLine);
    if (!loadSiteSettings(env))
        return 1;
    // The console shows only after the link, the health check and the server have answered,
    // seconds on a real bench: until then this says the program is starting.
    StartupSplash splash;
    splash.showNow();
    Station station(std::move(env));
    splash.follow(station.window(), station.console());
    QObject::connect(&station.console(), &StationConsole::ended, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    station.start();
    splash.close();
    if (station.console().hasEnded())
        return 0;
    return app.exec();
}
