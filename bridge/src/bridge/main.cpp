#include "bridge/LinkBridge.h"
#include "bridge/LinkRequest.h"
#include "common/Options.h"
#include "common/RotatingLog.h"

#include <cstdio>

namespace {

const char* const Usage =
    "Usage: velora-link-bridge [options]\n"
    "Serves the station's TCP link to the spectrometer software's DDE server on this computer.\n"
    "\n"
    "  --listen HOST:PORT   address to listen on (default 127.0.0.1:4411; 0.0.0.0:4411 for a\n"
    "                       station on another computer, [::]:4411 for IPv6 as well)\n"
    "  --allow ADDRESS[/BITS]\n"
    "                       a station address or range that may connect (IPv4 or IPv6); repeat\n"
    "                       for more (default: this computer only, 127.0.0.0/8 and ::1)\n"
    "  --timeout MS         longest wait for the software's answer to one DDE call, until the\n"
    "                       station sets its own (default 10000)\n"
    "  --max-line BYTES     longest line accepted from the station (default 4096)\n"
    "  --log FILE           log file (default velora-link-bridge.log beside the program)\n"
    "  --log-size KB        size at which the log is rotated (default 1024)\n"
    "  --log-keep N         rotated logs kept as FILE.1 .. FILE.N (default 5)\n"
    "  --help               this text\n";

} // namespace

int main()
{
    Options options({"help"}, {"listen", "allow", "timeout", "max-line", "log", "log-size", "log-keep"});
    if (!options.parse(commandLineArguments())) {
        std::fprintf(stderr, "velora-link-bridge: %s\n\n%s", options.error().c_str(), Usage);
        return 2;
    }
    if (options.has("help")) {
        std::fputs(Usage, stdout);
        return 0;
    }
    LinkBridge::Settings settings;
    const std::string listen = options.value("listen", "127.0.0.1:4411");
    long timeoutMs = 0, maxLine = 0, logKb = 0, logKeep = 0;
    if (!splitHostPort(listen, &settings.host, &settings.port)) {
        std::fprintf(stderr,
                     "velora-link-bridge: --listen needs HOST:PORT with a port from 1 to 65535, not \"%s\"\n",
                     listen.c_str());
        return 2;
    }
    if (!options.number("timeout", 10000, 1, long(LinkRequest::MaxTimeoutMs), &timeoutMs) ||
        !options.number("max-line", 4096, 64, 1 << 20, &maxLine) ||
        !options.number("log-size", 1024, 1, 1 << 20, &logKb) ||
        !options.number("log-keep", 5, 0, 99, &logKeep)) {
        std::fprintf(stderr, "velora-link-bridge: %s\n", options.error().c_str());
        return 2;
    }
    if (options.has("allow")) {
        settings.allowed = AddressFilter();
        for (const std::string& allowed : options.values("allow")) {
            if (!settings.allowed.add(allowed)) {
                std::fprintf(stderr,
                             "velora-link-bridge: --allow needs ADDRESS or ADDRESS/BITS (IPv4 or IPv6), not "
                             "\"%s\"\n",
                             allowed.c_str());
                return 2;
            }
        }
    }
    settings.ddeTimeoutMs = DWORD(timeoutMs);
    settings.maxLineBytes = size_t(maxLine);

    RotatingLog log;
    const std::string logPath = options.value("log", programFolder() + "velora-link-bridge.log");
    if (!log.open(logPath, logKb * 1024, int(logKeep)))
        std::fprintf(stderr, "velora-link-bridge: cannot write the log file %s; running without it\n",
                     logPath.c_str());
    log.write("velora-link-bridge started");

    LinkBridge bridge(settings, log);
    std::string error;
    if (!bridge.start(&error)) {
        log.write("not started: " + error);
        std::fprintf(stderr, "velora-link-bridge: %s\n", error.c_str());
        return 1;
    }
    std::printf("velora-link-bridge listening on %s\n", listen.c_str());
    std::fflush(stdout);
    return bridge.run();
}
