#include "clientfixture.h"

#include <dirent.h>

#include <cstdlib>

namespace clienttest {

const unsigned int kDefaultPatienceMs = 10000;
const unsigned int kPatienceMs = [] {
    const char* text = std::getenv("WQX_TEST_PATIENCE_MS");
    const unsigned long ms = text ? std::strtoul(text, nullptr, 10) : 0;
    return ms > kDefaultPatienceMs && ms < 3600000 ? static_cast<unsigned int>(ms) : kDefaultPatienceMs;
}();

unsigned int stretched(unsigned int ms) {
    return static_cast<unsigned int>(static_cast<unsigned long long>(ms) * kPatienceMs /
                                     kDefaultPatienceMs);
}

bool waitUntil(const std::function<bool()>& pred, unsigned int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (; !pred(); std::this_thread::sleep_for(std::chrono::milliseconds(1)))
        if (std::chrono::steady_clock::now() > end) return pred();
    return true;
}

cObjectDevice* device(unsigned int serial, const char* label) {
    cObjectDevice* d = new cObjectDevice;
    d->setDeviceSerial(serial);
    if (label) d->setDeviceLabel(label);
    return d;
}

unsigned int serialOf(cObject* obj) {
    cObjectDevice* d = dynamic_cast<cObjectDevice*>(obj);
    return d ? d->getDeviceSerial() : 0;
}

std::vector<unsigned int> serials(cObjectList* list) {
    std::vector<unsigned int> out;
    for (cObject* o = list ? list->first() : nullptr; o; o = list->next()) out.push_back(serialOf(o));
    return out;
}

VMsg* messageOf(unsigned char type, int seq, unsigned int first, unsigned int n, std::size_t labelLen) {
    cObjectList list;
    for (unsigned int i = 0; i < n; ++i) list.add(device(first + i, std::string(labelLen, 'L').c_str()));
    list.setMsgType(type);
    list.setMsgSeq(static_cast<unsigned char>(seq));
    VMsg* msg = list.toMsg();
    list.deleteObjects();
    return msg;
}

std::string jsonOf(cObjectList* list) {
    char* text = cObject::getJSON(list);
    const std::string out(text ? text : "");
    cObject::deleteJSON(text);
    return out;
}

int warnings(const LogCapture& log, const std::string& fragment) {
    int n = 0;
    for (const LogLine& l : log.lines())
        n += l.priority == log4cpp::Priority::WARN && l.message.find(fragment) != std::string::npos;
    return n;
}

void RecordingListener::onEvent(cObjectList* list) {
    static std::atomic<unsigned long> stamps(0);
    if (list->numObjects() == 0) return;
    Seen s = {list->getMsgType(), list->getMsgSeq(), list, serials(list), jsonOf(list), ++stamps};
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.push_back(s);
}

std::vector<Seen> RecordingListener::seen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

bool RecordingListener::waitFor(std::size_t calls, unsigned int timeoutMs) const {
    return waitUntil([&] { return seen().size() >= calls; }, timeoutMs);
}

std::set<std::string> entryNames(const char* path) {
    std::set<std::string> names;
    if (DIR* dir = opendir(path)) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.') names.insert(e->d_name);
        closedir(dir);
    }
    return names;
}

int entries(const char* path) { return static_cast<int>(entryNames(path).size()); }

void ClientTest::SetUp() {
    sim.seedDefaultSite();
    ASSERT_TRUE(sim.start());
    client.reset(new cObjectClient);
    client->setReplyWait(kPatienceMs);
    client->setPingInterval(10 * kPatienceMs);
    ASSERT_EQ(1, client->start("127.0.0.1", sim.port()));
    ASSERT_TRUE(waitUntil([&] { return client->getCounters().eventsDelivered >= 1; }))
        << "the answer to the initial ping never came";
    client->addListener(&events);
}

std::vector<cObjectServerSim::cDatagram> ClientTest::requests(std::size_t atLeast) const {
    std::vector<cObjectServerSim::cDatagram> out;
    sim.waitFor([&](const std::vector<cObjectServerSim::cDatagram>& all) {
        out.clear();
        for (const auto& d : all)
            if (d.decoded && !d.ping) out.push_back(d);
        return out.size() >= atLeast;
    }, kPatienceMs);
    return out;
}

}  // namespace clienttest
