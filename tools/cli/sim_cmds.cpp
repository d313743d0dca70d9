// wqxobj sim / demo: the object-server simulator as a program, and a guided
// walk through set, get, index and an event against it.
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

#include "cli.h"
#include "commands.h"
#include "device.h"
#include "objclient.h"
#include "simulator.h"

namespace {

const char kSimUsage[] =
    "usage: wqxobj sim [--port N] [--seed FILE.json] [--print-default] [-v]\n"
    "Runs the object-server simulator on 127.0.0.1:N (default 4000; 0 picks a\n"
    "free port) until interrupted. --seed loads a JSON document into its store;\n"
    "without it the store holds a small default site, which --print-default\n"
    "prints (a starting point for a seed file).\n"
    "The simulator answers get (type 1) with the matching stored objects, index\n"
    "requests with their identity fields, stores sets (type 0) and announces\n"
    "them to its clients as an event (type 2), and echoes pings.\n";

const char kDemoUsage[] =
    "usage: wqxobj demo [--pretty] [-v]\n"
    "Starts the simulator on a free loopback port and walks through set, get,\n"
    "index and an event with the library's client, printing each request and\n"
    "reply.\n";

// Waits for one event and keeps its document text.
class EventCatcher : public cObjectListener {
public:
    explicit EventCatcher(bool pretty) : pretty_(pretty) {}
    void onEvent(cObjectList* list) override {
        std::lock_guard<std::mutex> lock(mutex_);
        // The answer to the client's first ping also arrives as an event,
        // with no objects: wait for one that carries some.
        if (text_.empty() && list->numObjects() > 0) text_ = cli::documentText(*list, pretty_);
        cond_.notify_all();
    }
    std::string wait(unsigned int ms) {
        std::unique_lock<std::mutex> lock(mutex_);
        cond_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return !text_.empty(); });
        return text_;
    }

private:
    bool pretty_;
    std::mutex mutex_;
    std::condition_variable cond_;
    std::string text_;
};

void show(const char* step, const char* what, const std::string& text) {
    std::printf("\n%s %s\n%s\n", step, what, text.c_str());
}

std::string documentOf(cObject* obj, bool pretty) {
    cObjectList one;
    one.add(obj);
    return cli::documentText(one, pretty);
}

}  // namespace

int cmdSim(int argc, char** argv) {
    sigset_t stopSignals = cli::blockStopSignals();
    long port = cli::kDefaultPort;
    std::string seed;
    bool printDefault = false;
    cli::Common common;
    cli::Options own{{{"port", required_argument, nullptr, 'p'},
                      {"seed", required_argument, nullptr, 's'},
                      {"print-default", no_argument, nullptr, 'd'}},
                     "p:s:",
                     [&](int opt, const char* arg) {
                         if (opt == 'p' && !cli::parseNumber(arg, 65535, port))
                             return cli::fail("sim", cli::kUsage, "--port takes 0 to 65535");
                         if (opt == 's') seed = arg;
                         if (opt == 'd') printDefault = true;
                         return cli::kOk;
                     },
                     false};
    int rc = cli::parseOptions("sim", argc, argv, own, kSimUsage, common);
    if (rc != cli::kOk) return rc == cli::kHelp ? cli::kOk : rc;
    if (printDefault) {
        std::printf("%s\n", cObjectServerSim::defaultSiteJSON().c_str());
        return cli::kOk;
    }
    if (optind < argc) return cli::fail("sim", cli::kUsage, "sim takes no operands (try --help)");
    cObjectServerSim sim;
    if (seed.empty()) {
        sim.seedDefaultSite();
    } else {
        std::string text, error;
        cObjectList* list = nullptr;
        if (!cli::readInput(seed, text, error) || !cli::readDocument(text, list, error))
            return cli::fail("sim", cli::kFailed, "%s: %s", seed.c_str(), error.c_str());
        while (cObject* o = list->get()) sim.add(o);
        delete list;
    }
    if (!sim.start(static_cast<unsigned short>(port)))
        return cli::fail("sim", cli::kFailed, "cannot listen on 127.0.0.1:%ld (port in use?)", port);
    std::printf("object-server simulator on 127.0.0.1:%u with %d objects; Ctrl-C stops\n", sim.port(),
                sim.storeSize());
    std::fflush(stdout);
    int sig = 0;
    sigwait(&stopSignals, &sig);
    sim.stop();
    return cli::kOk;
}

int cmdDemo(int argc, char** argv) {
    cli::Common common;
    cli::Options own{{}, "", [](int, const char*) { return cli::kOk; }};
    int rc = cli::parseOptions("demo", argc, argv, own, kDemoUsage, common);
    if (rc != cli::kOk) return rc == cli::kHelp ? cli::kOk : rc;

    cObjectServerSim sim;
    sim.seedDefaultSite();
    if (!sim.start(0)) return cli::fail("demo", cli::kFailed, "cannot start the simulator on loopback");
    std::printf("Simulator on 127.0.0.1:%u holding a small site of %d objects.\n", sim.port(),
                sim.storeSize());

    cObjectClient client;
    EventCatcher events(common.pretty);
    client.addListener(&events);
    if (!client.start("127.0.0.1", sim.port()))
        return cli::fail("demo", cli::kFailed, "cannot connect to the simulator");

    cObjectDevice device;
    device.setDeviceSerial(4242);
    device.setDeviceLabel("Demo RTU");
    device.setDeviceType(cObjectDevice::DEVICE_TYPE_2);
    device.setDeviceOpState(cObject::OPSTATE_1);
    device.setDiscreteInCount(4);
    show("1.", "set (message type 0, no reply awaited):", documentOf(&device, common.pretty));
    client.set(&device);

    cObjectDevice key;
    key.setDeviceSerial(4242);
    show("2.", "get (message type 1) for TAG_DEV_ID 4242:", documentOf(&key, common.pretty));
    std::unique_ptr<cObject> got(client.get(&key));
    if (!got) return cli::fail("demo", cli::kFailed, "the simulator did not answer the get");
    show("  ", "reply:", documentOf(got.get(), common.pretty));

    cObjectDevice anyDevice;
    show("3.", "index (message info with indexes only, then the key) for every device:",
         documentOf(&anyDevice, common.pretty));
    std::unique_ptr<cObjectList> indexes(client.getIndexes(&anyDevice));
    if (!indexes) return cli::fail("demo", cli::kFailed, "the simulator did not answer the index request");
    show("  ", "reply:", cli::documentText(*indexes, common.pretty));
    indexes->deleteObjects();

    const std::string event = events.wait(client.getReplyWait() * client.getTransmissions());
    client.removeListener(&events);
    if (event.empty()) return cli::fail("demo", cli::kFailed, "no event arrived from the simulator");
    show("4.", "event (unsolicited: the simulator announced the object that was set):", event);
    const cObjectClient::cCounters c = client.getCounters();
    std::printf("\nClient counters: %u datagrams sent, %u received, %u retransmissions, %u events.\n",
                c.datagramsSent, c.datagramsReceived, c.retransmissions, c.eventsDelivered);
    sim.stop();
    return cli::kOk;
}
