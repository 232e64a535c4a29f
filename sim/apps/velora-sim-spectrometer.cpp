#include "SimSpectrometer.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

// The spectrometer software for a bench without one: serves the station's link on loopback and
// prints every exchange.
int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("velora-sim-spectrometer"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Simulated spectrometer software on the station's link"));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("TCP port (0: any free port)"),
                                        QStringLiteral("N"), QStringLiteral("4411"));
    const QCommandLineOption rootOption(QStringLiteral("data-root"),
                                        QStringLiteral("Folder standing for the drives of Windows paths"),
                                        QStringLiteral("DIR"));
    parser.addOption(portOption);
    parser.addOption(rootOption);
    parser.process(app);

    bool ok = false;
    const uint port = parser.value(portOption).toUInt(&ok);
    if (!ok || port > 65535) {
        std::fprintf(stderr, "invalid port: %s\n", qPrintable(parser.value(portOption)));
        return 2;
    }
    SimSpectrometer sim(quint16(port), parser.value(rootOption));
    sim.setLogSink([](const QString& line) {
        std::fprintf(stdout, "%s\n", line.toUtf8().constData());
        std::fflush(stdout);
    });
    if (!sim.start()) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:%u\n", port);
        return 1;
    }
    std::fprintf(stdout, "velora-sim-spectrometer listening on %s\n", qPrintable(sim.address()));
    std::fflush(stdout);
    return app.exec();
}
