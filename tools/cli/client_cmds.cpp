// wqxobj get / index / set / listen: a client of a running object server.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "cli.h"
#include "commands.h"
#include "everyfield.h"
#include "objclient.h"

namespace {

const char kGetUsage[] =
    "usage: wqxobj get --server HOST:PORT [--timeout MS] [--pretty] [-v] TYPE [TAG=VALUE ...]\n"
    "Asks the server for the objects of TYPE (OBJ_DEVICE, OBJ_PORT_DIN, ...) whose\n"
    "identity matches the TAG=VALUE keys (e.g. TAG_DEV_ID=1001) and prints the reply\n"
    "as a JSON document. VALUE is an integer, a real (with a '.'), true/false, or\n"
    "text. --timeout is the wait for each of the three transmissions (default 2000).\n";

const char kIndexUsage[] =
    "usage: wqxobj index --server HOST:PORT [--timeout MS] [--pretty] [-v] TYPE [TAG=VALUE ...]\n"
    "As get, but asks for the identity fields of the matching objects only.\n";

const char kSetUsage[] =
    "usage: wqxobj set --server HOST:PORT [--timeout MS] [-v] [FILE.json|-]\n"
    "Sends every object of a JSON document to the server, then asks for the first\n"
    "one back to confirm the server has them.\n";

const char kListenUsage[] =
    "usage: wqxobj listen --server HOST:PORT [--pretty] [-v]\n"
    "Prints every event the server sends as one JSON document per line, until\n"
    "interrupted (Ctrl-C).\n";

struct ClientArgs {
    std::string host;
    int port = 0;
    long timeoutMs = 2000;
};

cli::Options clientOptions(const char* cmd, ClientArgs& args, bool printsDocuments) {
    return {{{"server", required_argument, nullptr, 's'}, {"timeout", required_argument, nullptr, 't'}},
            "s:t:",
            [cmd, &args](int opt, const char* arg) {
                if (opt == 's' && !cli::parseServer(arg, args.host, args.port))
                    return cli::fail(cmd, cli::kUsage, "--server takes HOST:PORT, not '%s'", arg);
                if (opt == 't' && (!cli::parseNumber(arg, 600000, args.timeoutMs) || args.timeoutMs == 0))
                    return cli::fail(cmd, cli::kUsage, "--timeout takes milliseconds, 1 to 600000");
                return cli::kOk;
            },
            printsDocuments};
}

// Parses the options; kOk, or the status to exit with.
int parseClientOptions(const char* cmd, int argc, char** argv, const char* usage,
                       cli::Common& common, ClientArgs& args, bool printsDocuments = true) {
    const int rc =
        cli::parseOptions(cmd, argc, argv, clientOptions(cmd, args, printsDocuments), usage, common);
    if (rc != cli::kOk) return rc;
    if (args.host.empty()) return cli::fail(cmd, cli::kUsage, "--server HOST:PORT is required");
    return cli::kOk;
}

// Starts the client. Input is read before this: once started, the client's
// own threads log too, and the strict document reader must hear only about
// the document.
int startClient(const char* cmd, const ClientArgs& args, cObjectClient& client) {
    client.setReplyWait(static_cast<unsigned int>(args.timeoutMs));
    if (!client.start(args.host.c_str(), args.port))
        return cli::fail(cmd, cli::kFailed, "cannot reach %s:%d (unknown host or no route)",
                         args.host.c_str(), args.port);
    return cli::kOk;
}

// "VALUE" as a JSON value: integer, real, boolean or string.
std::string jsonValue(const std::string& v) {
    char* end = nullptr;
    if (!v.empty()) {
        std::strtoll(v.c_str(), &end, 10);
        if (*end == '\0') return v;
        std::strtod(v.c_str(), &end);
        if (*end == '\0' && v.find_first_of(".eE") != std::string::npos) return v;
    }
    if (v == "true" || v == "false") return v;
    json_t* s = json_string(v.c_str());
    char* text = s ? json_dumps(s, JSON_ENCODE_ANY) : nullptr;
    std::string out = text ? text : "\"\"";
    std::free(text);
    json_decref(s);
    return out;
}

// The keys a type writes when every field is set: the ones a key may use.
std::set<std::string> keysOf(cObject::eObjectTypes type) {
    std::set<std::string> keys;
    std::unique_ptr<cObject> full(everyfield::makeFull(type));
    json_t* array = full->getJSONObj();
    for (size_t i = 0; i < json_array_size(array); ++i) {
        const char* key;
        json_t* value;
        json_object_foreach(json_array_get(array, i), key, value) keys.insert(key);
    }
    json_decref(array);
    return keys;
}

// Builds the key object from TYPE and TAG=VALUE operands.
cObject* keyObject(const char* cmd, int argc, char** argv, int& status) {
    status = cli::kUsage;
    if (optind >= argc) {
        cli::fail(cmd, status, "which TYPE? (try --help)");
        return nullptr;
    }
    const char* typeName = argv[optind];
    const cObject::eObjectTypes type = cObject::getObjectTypeForJSON(typeName);
    if (type == cObject::OBJ_NONE || type == cObject::OBJ_MSG_INFO) {
        cli::fail(cmd, status, "unknown object type '%s' (OBJ_DEVICE, OBJ_PORT, ...)", typeName);
        return nullptr;
    }
    const std::set<std::string> known = keysOf(type);
    std::string values;
    for (int i = optind + 1; i < argc; ++i) {
        const char* eq = std::strchr(argv[i], '=');
        if (!eq || eq == argv[i]) {
            cli::fail(cmd, status, "'%s' is not TAG=VALUE", argv[i]);
            return nullptr;
        }
        const std::string key(argv[i], eq - argv[i]);
        if (!known.count(key)) {
            cli::fail(cmd, status, "%s has no key %s", typeName, key.c_str());
            return nullptr;
        }
        values += std::string(values.empty() ? "" : ", ") + "{\"" + key + "\": " + jsonValue(eq + 1) + "}";
    }
    const std::string doc = std::string("[[{\"objectType\": \"") + typeName +
                            "\"}, {\"objectValues\": [" + values + "]}]]";
    cObjectList* list = nullptr;
    std::string error;
    if (!cli::readDocument(doc, list, error)) {
        cli::fail(cmd, status, "%s", error.c_str());
        return nullptr;
    }
    cObject* key = list->get();
    delete list;
    status = cli::kOk;
    return key;
}

int request(const char* cmd, int argc, char** argv, const char* usage, bool indexes) {
    cli::Common common;
    ClientArgs args;
    int rc = parseClientOptions(cmd, argc, argv, usage, common, args);
    if (rc != cli::kOk) return rc == cli::kHelp ? cli::kOk : rc;
    std::unique_ptr<cObject> key(keyObject(cmd, argc, argv, rc));
    if (!key) return rc;
    cObjectClient client;
    if ((rc = startClient(cmd, args, client)) != cli::kOk) return rc;
    cObjectList* reply;
    if (indexes) {
        reply = client.getIndexes(key.get());
    } else {
        cObjectList request;
        request.add(key.get());
        reply = client.get(&request);
    }
    if (!reply) {
        // The client gives a reply whole or not at all, and may have stopped
        // early (a partial reply that cannot complete): its counters say how
        // often this, its only request, actually went out.
        const unsigned int sent = 1 + client.getCounters().retransmissions;
        return cli::fail(cmd, cli::kFailed, "no whole reply from %s:%d after %u transmission%s",
                         args.host.c_str(), args.port, sent, sent == 1 ? "" : "s");
    }
    std::printf("%s\n", cli::documentText(*reply, common.pretty).c_str());
    reply->deleteObjects();
    delete reply;
    return cli::kOk;
}

}  // namespace

int cmdGet(int argc, char** argv) { return request("get", argc, argv, kGetUsage, false); }

int cmdIndex(int argc, char** argv) { return request("index", argc, argv, kIndexUsage, true); }

int cmdSet(int argc, char** argv) {
    cli::Common common;
    ClientArgs args;
    int rc = parseClientOptions("set", argc, argv, kSetUsage, common, args, false);
    if (rc != cli::kOk) return rc == cli::kHelp ? cli::kOk : rc;
    if (argc - optind > 1) return cli::fail("set", cli::kUsage, "one document at most (try --help)");
    std::string input, error;
    if (!cli::readInput(optind < argc ? argv[optind] : "-", input, error))
        return cli::fail("set", cli::kFailed, "%s", error.c_str());
    cObjectList* list = nullptr;
    if (!cli::readDocument(input, list, error)) return cli::fail("set", cli::kFailed, "%s", error.c_str());
    std::unique_ptr<cObjectList> owned(list);
    if (list->numObjects() == 0) return cli::kOk;
    cObjectClient client;
    if ((rc = startClient("set", args, client)) != cli::kOk) return rc;
    int unsent = 0;
    for (cObject* o = list->first(); o; o = list->next()) unsent += client.set(o) != 0;
    // Sets are not answered: asking for the first object back proves the
    // server is there and has read what went before.
    std::unique_ptr<cObject> back(client.get(list->first()));
    const int n = list->numObjects();
    list->deleteObjects();
    if (unsent)
        return cli::fail("set", cli::kFailed, "%d of %d objects could not be sent to %s:%d", unsent, n,
                         args.host.c_str(), args.port);
    if (!back)
        return cli::fail("set", cli::kFailed, "sent %d objects but %s:%d did not answer", n,
                         args.host.c_str(), args.port);
    std::printf("sent %d objects to %s:%d\n", n, args.host.c_str(), args.port);
    return cli::kOk;
}

namespace {

class PrintingListener : public cObjectListener {
public:
    explicit PrintingListener(bool pretty) : pretty_(pretty) {}
    void onEvent(cObjectList* list) override {
        std::printf("%s\n", cli::documentText(*list, pretty_).c_str());
        std::fflush(stdout);
    }

private:
    bool pretty_;
};

}  // namespace

int cmdListen(int argc, char** argv) {
    // Block the stop signals before any thread starts, so that only the
    // sigwait below takes them.
    sigset_t stopSignals = cli::blockStopSignals();
    cli::Common common;
    ClientArgs args;
    int rc = parseClientOptions("listen", argc, argv, kListenUsage, common, args);
    if (rc != cli::kOk) return rc == cli::kHelp ? cli::kOk : rc;
    if (optind < argc) return cli::fail("listen", cli::kUsage, "listen takes no operands");
    cObjectClient client;
    if ((rc = startClient("listen", args, client)) != cli::kOk) return rc;
    PrintingListener printer(common.pretty);
    client.addListener(&printer);
    std::fprintf(stderr, "listening to %s:%d; Ctrl-C stops\n", args.host.c_str(), args.port);
    int sig = 0;
    sigwait(&stopSignals, &sig);
    client.removeListener(&printer);
    return cli::kOk;
}
