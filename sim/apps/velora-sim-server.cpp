// The station's HTTP peers on one loopback port: VELORA server, stone-ID service, diagnostics page.
#include "SimServer.h"
#include "SpectralMatcher.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include <unistd.h>

namespace {
volatile std::sig_atomic_t stopRequested = 0;
void requestStop(int)
{
    stopRequested = 1;
}
} // namespace

int main(int argc, char** argv)
{
    int port = 8080;
    std::string certificate;
    std::string key;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--port") == 0 && i + 1 < argc) {
            port = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--tls-cert") == 0 && i + 1 < argc) {
            certificate = argv[++i];
        } else if (std::strcmp(argv[i], "--tls-key") == 0 && i + 1 < argc) {
            key = argv[++i];
        } else {
            std::fprintf(stderr, "usage: %s [--port N] [--tls-cert CHAIN.pem --tls-key KEY.pem]\n", argv[0]);
            return 2;
        }
    }
    if (certificate.empty() != key.empty()) {
        std::fprintf(stderr, "--tls-cert and --tls-key go together\n");
        return 2;
    }
    SimServer server;
    server.setTls(certificate, key);
    server.setQueryMatcher(SpectralMatcher::serverMatcher());
    std::mutex printMutex;
    server.setLogger([&printMutex](const std::string& line) {
        std::lock_guard lock(printMutex);
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    });
    if (!server.start(port)) {
        std::fprintf(stderr, "cannot listen on 127.0.0.1:%d\n", port);
        return 1;
    }
    std::printf("VELORA server, stone-ID service and diagnostics page on %s\n", server.baseUrl().c_str());
    std::printf("diagnostics page: %s\n", server.diagPageUrl().c_str());
    std::printf("verdicts of published queries: %s/sim/verdicts\n", server.baseUrl().c_str());
    std::fflush(stdout);
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
    while (!stopRequested)
        ::pause();
    server.stop();
    return 0;
}
