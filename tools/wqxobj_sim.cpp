// wqxobj-sim: the object-server simulator as a program, for trying a client
// against something that answers.
#include <log4cpp/Category.hh>
#include <log4cpp/OstreamAppender.hh>
#include <log4cpp/PatternLayout.hh>

#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "simulator.h"

namespace {

const char kUsage[] =
    "Usage: wqxobj-sim [--port N] [--seed FILE.json] [--debug]\n"
    "\n"
    "A stand-in for the object server on UDP 127.0.0.1:N (default 5400).\n"
    "It keeps a store of objects keyed by class and identity and answers:\n"
    "  type 0 (set)     stores the objects, answers nothing, and sends them as\n"
    "                   an event (type 2) to every client it has heard from;\n"
    "  type 1 (get)     answers with the stored objects the request's objects\n"
    "                   match (an object with no field set matches its whole\n"
    "                   class), or with their identity fields only when a\n"
    "                   message info asks for indexes only;\n"
    "  pings            are echoed back.\n"
    "Replies keep the request's type and sequence; those over 1024 bytes go\n"
    "out in segments.\n"
    "\n"
    "  --port N         UDP port to listen on (0: any free port)\n"
    "  --seed FILE      JSON document of the objects to start with, in the\n"
    "                   library's document form (an array of\n"
    "                   [{\"objectType\":...},{\"objectValues\":[...]}]);\n"
    "                   without it a small default site is loaded\n"
    "  --print-default  print the default site's document and exit\n"
    "  --debug          log the library's debug lines to stderr\n"
    "  --help           this text\n"
    "\n"
    "Stop it with Ctrl-C.\n";

void logToStderr() {
    log4cpp::Appender* out = new log4cpp::OstreamAppender("stderr", &std::cerr);
    log4cpp::PatternLayout* layout = new log4cpp::PatternLayout;
    layout->setConversionPattern("%d{%H:%M:%S.%l} %c %p: %m%n");
    out->setLayout(layout);
    log4cpp::Category& root = log4cpp::Category::getRoot();
    root.addAppender(out);
    root.setPriority(log4cpp::Priority::DEBUG);
}

bool parsePort(const char* text, unsigned short* port) {
    char* end = nullptr;
    const long v = std::strtol(text, &end, 10);
    if (!end || *end || v < 0 || v > 65535) return false;
    *port = static_cast<unsigned short>(v);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    unsigned short port = 5400;
    const char* seed = nullptr;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (!std::strcmp(a, "--print-default")) {
            std::puts(cObjectServerSim::defaultSiteJSON().c_str());
            return 0;
        } else if (!std::strcmp(a, "--debug")) {
            logToStderr();
        } else if (!std::strcmp(a, "--port") && i + 1 < argc && parsePort(argv[i + 1], &port)) {
            ++i;
        } else if (!std::strcmp(a, "--seed") && i + 1 < argc) {
            seed = argv[++i];
        } else {
            std::fprintf(stderr, "wqxobj-sim: bad argument '%s'\n\n%s", a, kUsage);
            return 2;
        }
    }

    // Signals are taken by sigwait below, not by the simulator's thread.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    cObjectServerSim sim;
    if (!seed) {
        sim.seedDefaultSite();
    } else if (!sim.seedFile(seed)) {
        std::fprintf(stderr, "wqxobj-sim: no objects in '%s'\n", seed);
        return 1;
    }
    if (!sim.start(port)) {
        std::fprintf(stderr, "wqxobj-sim: cannot listen on 127.0.0.1:%u: %s\n", port,
                     std::strerror(errno));
        return 1;
    }
    std::printf("wqxobj-sim: %d objects, listening on 127.0.0.1:%u\n", sim.storeSize(),
                sim.port());
    std::fflush(stdout);
    int sig = 0;
    sigwait(&stopSignals, &sig);
    sim.stop();
    return 0;
}
