// A station on the simulated bench in a process of its own, for the journal's kill test.
//   journal-station-host JOURNAL PARENT register   registers stone P-3, saying THIRD when the third
//                                                  measurement starts (the test kills it then)
//   journal-station-host JOURNAL PARENT start      starts and prints every Msg1 text
// Each line it prints starts with a word: DATA <data folder>, THIRD, DONE, MSG1 <text>.
#include "bench/DialogDriver.h"
#include "bench/SimBench.h"

#include "core/ConsoleModel.h"
#include "ui/Frmgrading.h"
#include "ui/PictureBox.h"
#include "ui/TextBox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

#include <cstdio>

namespace {

void say(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: journal-station-host JOURNAL PARENT register|start\n");
        return 2;
    }
    SimBench::Options options;
    // Slow enough that the third measurement's wait lasts long enough to be killed in.
    options.timeScale = 0.05;
    options.journalFolder = QString::fromLocal8Bit(argv[1]);
    options.parentFolder = QString::fromLocal8Bit(argv[2]);
    SimBench bench(options);
    if (!bench.start(60000)) {
        std::fprintf(stderr, "the bench did not start: %s\n", qPrintable(bench.error()));
        return 1;
    }
    say(QStringLiteral("DATA ") + QDir::toNativeSeparators(bench.dataFolder()));
    if (qstrcmp(argv[3], "start") == 0) {
        for (const QString& text : bench.startupMsg1Texts())
            say(QStringLiteral("MSG1 ") + text);
        say(QStringLiteral("MSG1 ") + bench.model().msg1Text());
        return 0;
    }

    Frmgrading& w = bench.window();
    DialogDriver dialogs;
    dialogs.setUnexpectedAnswer(DialogDriver::Yes);
    int measuring = 0;
    QObject::connect(&bench.model(), &ConsoleModel::msgChanged, &w, [&measuring](const QString& text) {
        if (text == QLatin1String("Measuring .....Now..") && ++measuring == 3)
            say(QStringLiteral("THIRD"));
    });
    emit w.Register->clicked();
    emit w.Polish1->clicked();
    w.Text8->setText(QStringLiteral("P-3"));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(w.Text8, &enter);
    say(QStringLiteral("DONE"));
    return 0;
}
