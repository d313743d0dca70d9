// Shared pieces of the wqxobj command-line tool: option parsing helpers,
// input reading, JSON output, and the one-line error convention (a message
// on stderr and a non-zero exit status).
#ifndef WQX_CLI_H
#define WQX_CLI_H

#include <getopt.h>
#include <signal.h>

#include <functional>
#include <string>
#include <vector>

#include "objectlist.h"

namespace cli {

// Exit statuses: 0 success, 1 failure at run time (unreachable server,
// timeout, malformed input), 2 bad arguments.
const int kOk = 0;
const int kFailed = 1;
const int kUsage = 2;

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
struct Options {
    std::vector<option> longOpts;
    std::string shortOpts;
    std::function<int(int opt, const char* arg)> handle;
};

// Parses argv (argv[0] is the subcommand) with the common options -h/--help,
// -v/--verbose and --pretty added. Returns kOk with optind at the first
// operand, kUsage after a bad option, or kHelp after printing the usage.
const int kHelp = -1;
int parseOptions(const char* cmd, int argc, char** argv, const Options& own, const char* usage,
                 Common& common);

}  // namespace cli

#endif
