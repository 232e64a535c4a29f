#include "ProductionEnvironment.h"
#include "SiteEnvironment.h"

#include "ui/Frmgrading.h"
#include "workflows/Station.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    // The program takes no options: whatever follows its name is a command to run.
    const QString commandLine = QCoreApplication::arguments().mid(1).join(QLatin1Char(' '));
    StationEnvironment env = productionEnvironment(commandLine);
    // A bad settings file stops everything before any request or move: nothing runs half-configured.
    const SiteSettingsReading site =
        readSiteSettings(siteSettingsPath(env.programFolder), buildOptionDefaults(env.backupFolder));
    if (site.error) {
        const QString message = site.error->message();
        std::fprintf(stderr, "%s\n", qPrintable(message));
        QMessageBox::critical(nullptr, QStringLiteral("VELORA station settings"), message);
        return 1;
    }
    applySiteSettings(env, site.settings);
    Station station(std::move(env));
    QObject::connect(&station.window(), &Frmgrading::ended, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    station.start();
    if (station.window().hasEnded())
        return 0;
    return app.exec();
}
