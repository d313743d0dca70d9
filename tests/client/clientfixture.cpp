#include "clientfixture.h"

#include <dirent.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <cstdio>

namespace clienttest {

namespace {

const unsigned int kDefaultPatienceMs = 10000;

unsigned int patienceFromEnvironment() {
    const char* text = std::getenv("WQX_TEST_PATIENCE_MS");
    const unsigned long ms = text ? std::strtoul(text, nullptr, 10) : 0;
    return ms > kDefaultPatienceMs && ms < 3600000 ? static_cast<unsigned int>(ms) : kDefaultPatienceMs;
}

}  // namespace

const unsigned int kPatienceMs = patienceFromEnvironment();

unsigned int stretched(unsigned int ms) {
    return static_cast<unsigned int>(static_cast<unsigned long long>(ms) * kPatienceMs /
                                     kDefaultPatienceMs);
}

bool waitUntil(const std::function<bool()>& pred, unsigned int timeoutMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return pred();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
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

RecordingListener::RecordingListener(std::string name, std::vector<std::string>* order,
                                     std::mutex* orderMutex)
    : name_(std::move(name)), order_(order), orderMutex_(orderMutex) {}

void RecordingListener::onEvent(cObjectList* list) {
    Seen s = {list->getMsgType(), list->getMsgSeq(), list, {}};
    const int n = list->numObjects();
    cObject* obj = list->first();
    for (int i = 0; i < n; ++i, obj = list->next()) s.serials.push_back(serialOf(obj));
    if (order_) {
        std::lock_guard<std::mutex> lock(*orderMutex_);
        order_->push_back(name_);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    seen_.push_back(s);
    cond_.notify_all();
}

std::vector<Seen> RecordingListener::seen() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
}

int RecordingListener::calls() const { return static_cast<int>(seen().size()); }

std::vector<Seen> RecordingListener::withObjects() const {
    std::vector<Seen> out;
    for (const Seen& s : seen())
        if (!s.serials.empty()) out.push_back(s);
    return out;
}

bool RecordingListener::waitForObjectEvents(std::size_t n, unsigned int timeoutMs) const {
    return waitUntil([&] { return withObjects().size() >= n; }, timeoutMs);
}

void BlockingListener::onEvent(cObjectList*) {
    std::unique_lock<std::mutex> lock(mutex_);
    entered_ = true;
    cond_.notify_all();
    cond_.wait(lock, [this] { return released_; });
    ++finished_;
}

bool BlockingListener::waitEntered(unsigned int timeoutMs) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cond_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return entered_; });
}

void BlockingListener::release() {
    std::lock_guard<std::mutex> lock(mutex_);
    released_ = true;
    cond_.notify_all();
}

int BlockingListener::finished() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return finished_;
}

int threadCount() {
    int n = 0;
    if (DIR* dir = opendir("/proc/self/task")) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.') ++n;
        closedir(dir);
    }
    return n;
}

void ClientTest::SetUp() {
    sim.seedDefaultSite();
    ASSERT_TRUE(sim.start());
    client.reset(new cObjectClient);
    client->setReplyWait(kPatienceMs);
    client->setPingInterval(10 * kPatienceMs);
    ASSERT_EQ(1, client->start("127.0.0.1", sim.port()));
    ASSERT_TRUE(waitUntil([&] { return client->getCounters().eventsDelivered >= 1; }))
        << "the answer to the initial ping never came";
}

void ClientTest::TearDown() { client.reset(); }

std::vector<cObjectServerSim::cDatagram> ClientTest::requests() const {
    std::vector<cObjectServerSim::cDatagram> out;
    for (const auto& d : sim.received())
        if (d.decoded && !d.ping) out.push_back(d);
    return out;
}

std::vector<cObjectServerSim::cDatagram> ClientTest::requestsOnce(std::size_t n) const {
    sim.waitFor([n](const std::vector<cObjectServerSim::cDatagram>& r) {
        std::size_t requests = 0;
        for (const auto& d : r) requests += d.decoded && !d.ping;
        return requests >= n;
    }, kPatienceMs);
    return requests();
}

std::size_t ClientTest::requestCount(unsigned char type, unsigned char seq) const {
    std::size_t n = 0;
    for (const auto& d : requests())
        if (d.type == type && d.seq == seq) ++n;
    return n;
}

std::vector<unsigned int> serials(cObjectList* list) {
    std::vector<unsigned int> out;
    for (cObject* o = list->first(); o; o = list->next()) out.push_back(serialOf(o));
    return out;
}

long residentBytes() {
    malloc_trim(0);
    long pages = 0, resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

bool memoryIsInstrumented() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
    return true;
#endif
#endif
    const char* preload = std::getenv("LD_PRELOAD");
    return preload && std::strstr(preload, "vgpreload");
}

}  // namespace clienttest
