// wqxobj: the field engineer's tool for libwqxobj — talk to an object
// server, run a simulated one, and turn datagrams into JSON and back.
#include <cstdio>
#include <cstring>

#include "cli.h"
#include "commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int, char**);
    const char* summary;
};

const Command kCommands[] = {
    {"demo", cmdDemo, "walk through set, get, index and an event against a built-in simulator"},
    {"sim", cmdSim, "run the object-server simulator"},
    {"get", cmdGet, "ask a server for objects by type and key"},
    {"index", cmdIndex, "ask a server for the identities of matching objects"},
    {"set", cmdSet, "send the objects of a JSON document to a server"},
    {"listen", cmdListen, "print a server's events as they arrive"},
    {"decode", cmdDecode, "datagrams (binary, --hex or a --pcap capture) to JSON documents"},
    {"encode", cmdEncode, "a JSON document to datagrams"},
};

int usage(FILE* out) {
    std::fputs("usage: wqxobj COMMAND [OPTIONS] [ARGS]\n\ncommands:\n", out);
    for (const Command& c : kCommands) std::fprintf(out, "  %-8s %s\n", c.name, c.summary);
    std::fputs("\nEvery command takes --help, -v (library log lines; -vv for debug), and\n"
               "those that print JSON documents take --pretty (one entry a line).\n"
               "Options may come before or after the operands.\n"
               "\n"
               "  --version   the library's version and the wire format's\n"
               "  --help-all  this text and every command's --help\n",
               out);
    return out == stdout ? cli::kOk : cli::kUsage;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage(stderr);
    if (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help"))
        return usage(stdout);
    if (!std::strcmp(argv[1], "--version")) {
        std::fputs(cli::versionText().c_str(), stdout);
        return cli::kOk;
    }
    if (!std::strcmp(argv[1], "--help-all")) {
        // All help texts in one, which the manual page is made from.
        usage(stdout);
        for (const Command& c : kCommands) {
            std::printf("\nwqxobj %s:\n", c.name);
            std::fflush(stdout);
            char name[16], help[] = "--help";
            std::snprintf(name, sizeof name, "%s", c.name);
            char* args[] = {name, help, nullptr};
            c.run(2, args);
        }
        return cli::kOk;
    }
    for (const Command& c : kCommands)
        if (!std::strcmp(argv[1], c.name)) return c.run(argc - 1, argv + 1);
    std::fprintf(stderr, "wqxobj: unknown command '%s' (try wqxobj --help)\n", argv[1]);
    return cli::kUsage;
}
