#include "ProductionEnvironment.h"
#include "SiteEnvironment.h"

#include "ui/Frmgrading.h"
#include "workflows/Station.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    // The program takes no options: whatever follows its name is a command to run.
    const QString commandLine = QCoreApplication::arguments().mid(1).join(QLatin1Char(' '));
    StationEnvironment env = productionEnvironment(commandLine);
    if (!loadSiteSettings(env))
        return 1;
    Station station(std::move(env));
    QObject::connect(&station.window(), &Frmgrading::ended, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    station.start();
    if (station.window().hasEnded())
        return 0;
    return app.exec();
}
