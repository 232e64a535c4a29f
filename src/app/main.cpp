#include "ProductionEnvironment.h"

#include "ui/Frmgrading.h"
#include "ui/StartupSplash.h"
#include "workflows/Station.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    // The console shows only after the link, the health check and the server have answered,
    // seconds on a real bench: until then this says the program is starting.
    StartupSplash splash;
    splash.showNow();
    // The program takes no options: whatever follows its name is a command to run.
    const QString commandLine = QCoreApplication::arguments().mid(1).join(QLatin1Char(' '));
    Station station(productionEnvironment(commandLine));
    splash.follow(station.window());
    QObject::connect(&station.window(), &Frmgrading::ended, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    station.start();
    splash.close();
    if (station.window().hasEnded())
        return 0;
    return app.exec();
}
