#include "ProductionEnvironment.h"
#include "Shell.h"
#include "SiteEnvironment.h"

#include "app/Station.h"
#include "core/StationConsole.h"
#include "ui/Frmgrading.h"
#include "ui/StartupSplash.h"

#include <QApplication>

int main(int argc, char** argv)
{
    // The program takes no options: whatever follows its name is a command to run, so Qt sees only
    // the name (it would take -platform, -style ... as its own and remove them).
    const QStringList commandLine = programCommandWords(argc, argv);
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
