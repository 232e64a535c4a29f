#include "common/Options.h"
#include "double/DdeServerDouble.h"

#include <cstdio>

namespace {

const char* const Usage =
    "Usage: dde-spectrometer-double [options]\n"
    "A DDE server that stands in for the spectrometer software in tests.\n"
    "\n"
    "  --service NAME         DDE service (default OPUS)\n"
    "  --topic NAME           DDE topic (default System)\n"
    "  --data-root DIR        drive paths in commands (C:\\x) lie under DIR\\C\\x; others as written\n"
    "  --record FILE          append every received transaction to FILE\n"
    "  --refuse-conversation  never acknowledge a conversation\n"
    "  --never-answer         receive items and commands, answer nothing\n"
    "  --answer-delay MS      answer every item and command this late\n"
    "  --delay-on PREFIX      with --answer-delay: only items and commands beginning with PREFIX\n"
    "  --refuse-items         refuse every advised or requested item\n"
    "  --no-notify            never send an advised item's result\n"
    "  --drop-on PREFIX       end the conversation when an item or command begins with PREFIX\n"
    "  --help                 this text\n";

} // namespace

int main()
{
    Options options({"help", "refuse-conversation", "never-answer", "refuse-items", "no-notify"},
                    {"service", "topic", "data-root", "record", "answer-delay", "delay-on", "drop-on"});
    long delayMs = 0;
    if (!options.parse(commandLineArguments()) || !options.number("answer-delay", 0, 0, 3600000, &delayMs)) {
        std::fprintf(stderr, "dde-spectrometer-double: %s\n\n%s", options.error().c_str(), Usage);
        return 2;
    }
    if (options.has("help")) {
        std::fputs(Usage, stdout);
        return 0;
    }
    DdeServerDouble::Settings settings;
    settings.service = options.value("service", settings.service);
    settings.topic = options.value("topic", settings.topic);
    settings.dataRoot = options.value("data-root");
    settings.recordPath = options.value("record");
    settings.refuseConversation = options.has("refuse-conversation");
    settings.neverAnswer = options.has("never-answer");
    settings.refuseItems = options.has("refuse-items");
    settings.notify = !options.has("no-notify");
    settings.answerDelayMs = DWORD(delayMs);
    settings.delayOnItem = options.value("delay-on");
    settings.dropOnItem = options.value("drop-on");

    DdeServerDouble server(settings);
    std::string error;
    if (!server.start(&error)) {
        std::fprintf(stderr, "dde-spectrometer-double: %s\n", error.c_str());
        return 1;
    }
    // Tests wait for this line before they connect.
    std::printf("dde-spectrometer-double ready\n");
    std::fflush(stdout);
    return server.run();
}
