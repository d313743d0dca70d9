// Shared pieces of the wqxobj command-line tool: option parsing helpers,
// input reading, JSON output, and the one-line error convention (a message
// on stderr and a non-zero exit status).
#ifndef WQX_CLI_H
#define WQX_CLI_H

#include <getopt.h>
#include <signal.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "objectlist.h"

namespace cli {

// Exit statuses: 0 success, 1 failure at run time (unreachable server,
// timeout, malformed input), 2 bad arguments.
const int kOk = 0;
const int kFailed = 1;
const int kUsage = 2;

// The port `wqxobj sim` listens on unless told otherwise, and so the one
// `decode --pcap` looks for.
const int kDefaultPort = 4000;

// Options every subcommand takes.
struct Common {
    bool pretty = false;
    int verbose = 0;
};

// Prints "wqxobj <cmd>: <message>" on stderr and returns status.
int fail(const char* cmd, int status, const char* fmt, ...) __attribute__((format(printf, 3, 4)));

// Turns the library's log lines on: -v for info and above, -vv for debug.
void enableLogging(int verbosity);

// Reads a whole file, or standard input for "-" or an empty path.
bool readInput(const std::string& path, std::string& out, std::string& error);

// Decodes hex text (whitespace, ':' and a leading "0x" per word ignored).
bool fromHex(const std::string& text, std::vector<unsigned char>& out);
std::string toHex(const unsigned char* data, size_t n);

// The list as our JSON document, one line, or indented with pretty.
std::string documentText(cObjectList& list, bool pretty);

// Reads a JSON document strictly: text that is not a JSON array, or an
// entry the library could not read whole, is an error.
bool readDocument(const std::string& text, cObjectList*& list, std::string& error);

// Blocks SIGINT and SIGTERM in the calling thread (and the threads it
// starts later) and returns that set, for a later sigwait.
sigset_t blockStopSignals();

// Parses "HOST:PORT".
bool parseServer(const std::string& arg, std::string& host, int& port);

// Parses a whole non-negative number no larger than max.
bool parseNumber(const char* text, long max, long& out);

// A subcommand's own options: getopt_long's table and short string, the
// usage text for --help, and a handler that returns kOk or kUsage.
// printsDocuments says whether --pretty means anything to the subcommand;
// one that prints no documents refuses it rather than ignore it.
struct Options {
    std::vector<option> longOpts;
    std::string shortOpts;
    std::function<int(int opt, const char* arg)> handle;
    bool printsDocuments = true;
};

// Parses argv (argv[0] is the subcommand) with the common options -h/--help,
// -v/--verbose and --pretty added. Options may come before, between or after
// the operands (getopt moves the operands to the end; POSIXLY_CORRECT in the
// environment turns that off). Returns kOk with optind at the first operand,
// kUsage after a bad option, or kHelp after printing the usage.
const int kHelp = -1;
int parseOptions(const char* cmd, int argc, char** argv, const Options& own, const char* usage,
                 Common& common);

// Puts segmented messages together. Messages are told apart by a stream
// name (a direction, or "" when there is one stream), type and sequence;
// segments of different messages may interleave, and a message whose
// sequence number comes round again with another total before it is whole
// has lost segments.
class Joiner {
public:
    enum Result { kWhole, kKept, kTooLarge };
    // Takes msg over. kWhole hands the whole message over in `whole`;
    // kTooLarge drops the message it belonged to.
    Result add(const std::string& stream, VMsg* msg, std::unique_ptr<VMsg>& whole);
    // Gives up on every message still missing segments; false (with one
    // line on stderr for `command`) when there was any.
    bool finish(const char* command);
    // What one message may hold while it is put together: this only keeps
    // a forged total from costing more than the input could.
    static const std::size_t kMessageLimit = 64u << 20;

private:
    struct Pending {
        std::string stream;
        unsigned char type, seq;
        unsigned short total;
        std::unique_ptr<VMsgAssembly> parts;
    };
    void giveUp(const Pending& p);
    std::vector<Pending> pending_;
    unsigned int incomplete_ = 0;
    // "[stream ]type T sequence S, R of its N segments" of the first one.
    std::string firstIncomplete_;
};

// What --version prints: the library's version and the wire format's.
std::string versionText();

}  // namespace cli

#endif
