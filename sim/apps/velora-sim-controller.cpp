// The motion controller of the station, simulated on a pseudo-terminal. Prints the device path on
// the first line, then one line per command received and per stop of the axes, until killed.

#include "SimController.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <pthread.h>
#include <string>

namespace {

void usage(const char* program)
{
    std::fprintf(stderr,
                 "usage: %s [--link-dir DIR] [--com N] [--scale S] [--silent] [--flood]\n"
                 "  --link-dir DIR  create DIR/COM<N> pointing to the device (N from --com, default 3)\n"
                 "  --scale S       time scale of moves and initialisation (default 1)\n"
                 "  --silent        never answer\n"
                 "  --flood         send text as fast as the line takes it\n",
                 program);
}

void printPosition(const SimController::Position& p)
{
    std::printf("X=%.1f Y=%.1f Z=%.1f", p.x, p.y, p.z);
}

} // namespace

int main(int argc, char** argv)
{
    QString linkDir;
    int comPort = 3;
    double scale = 1.0;
    bool silent = false;
    bool flood = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--link-dir" && hasValue) {
            linkDir = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--com" && hasValue) {
            comPort = std::atoi(argv[++i]);
        } else if (arg == "--scale" && hasValue) {
            scale = std::atof(argv[++i]);
        } else if (arg == "--silent") {
            silent = true;
        } else if (arg == "--flood") {
            flood = true;
        } else {
            usage(argv[0]);
            return 2;
        }
    }

    // Block the ending signals before the reader thread starts, so only sigwait below sees them.
    sigset_t endSignals;
    sigemptyset(&endSignals);
    sigaddset(&endSignals, SIGINT);
    sigaddset(&endSignals, SIGTERM);
    sigaddset(&endSignals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);

    SimController controller(scale);
    controller.setCommandObserver([](const SimController::Command& c, const SimController::Position& p) {
        std::printf("%10.1f ms  %-12s %s  ", c.elapsedMs, c.text.c_str(), c.valid ? "accepted" : "rejected");
        printPosition(p);
        std::printf("\n");
        std::fflush(stdout);
    });
    controller.setRestObserver([](const SimController::Position& p) {
        std::printf("              at rest       ");
        printPosition(p);
        std::printf("\n");
        std::fflush(stdout);
    });
    controller.setSilent(silent);
    if (!controller.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(controller.errorString()));
        return 1;
    }
    std::printf("%s\n", qPrintable(controller.devicePath()));
    std::fflush(stdout);
    QString link;
    if (!linkDir.isEmpty()) {
        link = controller.createPortLink(linkDir, comPort);
        if (link.isEmpty())
            std::fprintf(stderr, "cannot create COM%d in %s: %s\n", comPort, qPrintable(linkDir),
                         std::strerror(errno));
        else
            std::fprintf(stderr, "linked %s\n", qPrintable(link));
    }
    controller.setFlood(flood);

    int signal = 0;
    sigwait(&endSignals, &signal);
    controller.stop();
    if (!link.isEmpty())
        std::remove(qPrintable(link));
    return 0;
}
