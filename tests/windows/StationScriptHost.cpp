// The station assembled as velora-station assembles it - production environment, station.ini in a
// program folder, the real window and dialogs - worked by a scripted operator: a rough registration,
// then a query of the same stone. The same host is built for Linux and for Windows, so the two
// stations run one script against the same peers and their records can be compared.
//   station-script-host FOLDER SCALE RECORD_FILE
// It prints "READY" once the start-up is over and waits for a line on its standard input before the
// script (the caller clears its peers' records meanwhile); the record file gets, as UTF-8 lines,
// every text of Msg, every question asked and every system box shown.
#include "ProductionEnvironment.h"
#include "SiteEnvironment.h"

#include "app/Station.h"
#include "bench/DialogDriver.h"
#include "core/ConsoleModel.h"
#include "core/SpectrometerLink.h"
#include "core/StationConsole.h"
#include "motion/StageControl.h"
#include "ui/Frmgrading.h"
#include "ui/PictureBox.h"
#include "ui/TextBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QThread>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

constexpr int Yes = DialogDriver::Yes;

bool pumpUntil(const std::function<bool()>& pred, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
    return true;
}

void settle(int ms)
{
    pumpUntil([] { return false; }, ms);
}

void scanStoneId(Frmgrading& w, const QString& text)
{
    w.Text8->setText(text);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(w.Text8, &press);
}

} // namespace

int main(int argc, char** argv)
{
    int qtArgc = 1;
    QApplication app(qtArgc, argv);
    app.setQuitOnLastWindowClosed(false);
    if (argc != 4) {
        std::fprintf(stderr, "usage: station-script-host FOLDER SCALE RECORD_FILE\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    const double scale = QString::fromLocal8Bit(argv[2]).toDouble();
    QFile record(QString::fromLocal8Bit(argv[3]));
    if (!record.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write %s\n", argv[3]);
        return 2;
    }

    StationEnvironment env = productionEnvironment({});
    env.programFolder = folder;
    env.resolveSerialPort = [folder](int comPort) { return defaultSerialPortName(folder, comPort); };
    if (!loadSiteSettings(env))
        return 1;
    env.timeScale = scale;
    env.journalFolder = folder + QStringLiteral("/journal");
    QStringList started;
    env.startDetached = [&started](const QString& program, const QStringList& arguments) {
        started << (QStringList{program} + arguments).join(u' ');
        return true;
    };
    env.openUrl = [](const QString&) {};
    env.terminate = [](int code) { std::exit(code); };

    DialogDriver driver;
    Station station(std::move(env));
    QStringList msgs;
    QObject::connect(&station.model(), &ConsoleModel::msgChanged, [&msgs](const QString& text) {
        if (!text.isEmpty() && (msgs.isEmpty() || msgs.back() != text))
            msgs << text;
    });
    station.start();
    ConsoleModel& m = station.model();
    StationConsole& c = station.console();
    const bool ready = pumpUntil(
        [&] {
            return !station.stage().isInitialising() && !m.Command18->isEnabled() &&
                   m.Command19->isEnabled() && c.link() && c.link()->isConnected();
        },
        120000);
    if (!ready) {
        std::fprintf(stderr, "the station did not become ready\n");
        return 1;
    }
    settle(1000);
    msgs.clear();
    std::cout << "READY" << std::endl;
    std::string line;
    std::getline(std::cin, line);

    Frmgrading& w = station.window();
    emit w.Register->clicked();
    emit w.Rough1->clicked();
    driver.expect("Is the Stone correctly Placed?", "Put the Stone/Diamond", Yes)
        .expect("Move Inside?", "Moving Inside", Yes)
        .expect("Have you moved the stone physically ?", "Arm Moving Outside", Yes);
    scanStoneId(w, QStringLiteral("LOT123-05#7-2"));

    driver.expect("Move Inside?", "Arm Moving Inside", Yes);
    emit w.Query->clicked();
    emit w.Rough1->clicked();
    driver.expect("Have you Placed the stone ?", "Place the Stone", Yes)
        .expect("Move Inside?", "Arm Moving Inside", Yes);
    scanStoneId(w, QStringLiteral("LOT123-05#7-2"));
    // The last stage commands complete on the controller's pauses.
    settle(int(300 + 150000 * scale));

    auto write = [&record](const QString& kind, const QString& text) {
        record.write((kind + u' ' + text + u'\n').toUtf8());
    };
    for (const QString& text : msgs)
        write(QStringLiteral("msg"), text);
    for (const DialogDriver::Asked& asked : driver.asked())
        write(QStringLiteral("asked"),
              asked.message + u'|' + asked.title + u'|' + QString::number(asked.answer));
    for (const DialogDriver::SystemBox& box : driver.systemBoxes())
        write(QStringLiteral("box"), box.text + u'|' + box.title);
    for (const QString& text : started)
        write(QStringLiteral("started"), text);
    write(QStringLiteral("pending"), QString::number(driver.pending()));
    record.close();

    // The operator's close: the configuration file is rewritten as the station leaves.
    bool ended = false;
    QObject::connect(&c, &StationConsole::ended, [&ended] { ended = true; });
    m.requestClose();
    pumpUntil([&ended] { return ended; }, 20000);
    return 0;
}
