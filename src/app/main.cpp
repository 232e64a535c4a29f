#include "BuildConfig.h"

#include "ui/Frmgrading.h"

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    StationEnvironment env;
    env.programFolder = QCoreApplication::applicationDirPath();
    env.timeScale = STATION_TIME_SCALE;
    Frmgrading w(env);
    QObject::connect(&w, &Frmgrading::ended, &app, &QCoreApplication::quit);
    w.Form_Load();
    return app.exec();
}
