// The client's receive path fed arbitrary datagrams over loopback while two
// requests wait for their replies. One started client and one raw UDP
// socket in the server's place serve every input of the process.
//
// Each input: two callers send a get each; the datagrams of the input go
// to the client; then each request's own bytes are echoed back as its
// reply, so both callers return; last comes a marker event, and once the
// listener has seen it the client has routed everything before it.
//
// Input: up to 16 datagrams, each flags:u8 length:u16 bytes. Flag bit 0
// (bit 1) puts the first (second) waiting request's sequence number into
// the datagram, bit 2 its type 1, so replies, segments of replies in any
// order and duplicates reach the requests.
#include <arpa/inet.h>
#include <log4cpp/Category.hh>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device.h"
#include "objclient.h"

namespace {

const unsigned int kCallers = 2;
const unsigned int kMaxDatagrams = 16;
// More than the client reads, which cuts longer datagrams.
const size_t kMaxDatagramBytes = 4096;
const unsigned int kMarkerSerial = 0x7E000000;
const int kPatienceMs = 20000;

// A failed step names itself, with errno and the client's counters, so a
// finding from an unattended run can be told apart from a harness fault.
cObjectClient* g_client = nullptr;

void fail(int line, const char* what) {
    const int err = errno;
    std::fprintf(stderr, "fuzz_receive.cpp:%d: %s failed (errno %d: %s)\n", line, what, err,
                 std::strerror(err));
    if (g_client) {
        const cObjectClient::cCounters c = g_client->getCounters();
        std::fprintf(stderr,
                     "client: sent %u received %u sendErrors %u readErrors %u retransmissions %u "
                     "givenUp %u late %u malformed %u events %u eventsDropped %u segmentsDropped %u "
                     "tooLarge %u eventsIncomplete %u refused %u\n",
                     c.datagramsSent, c.datagramsReceived, c.sendErrors, c.readErrors,
                     c.retransmissions, c.requestsGivenUp, c.lateReplies, c.malformedDropped,
                     c.eventsDelivered, c.eventsDropped, c.segmentsDropped, c.messagesTooLarge,
                     c.eventsIncomplete, c.requestsRefused);
    }
    std::abort();
}

#define check(ok) ((ok) ? (void)0 : fail(__LINE__, #ok))

// Tells when the marker event of the current input has been delivered.
class MarkerListener : public cObjectListener {
public:
    void expect(unsigned int serial) {
        std::lock_guard<std::mutex> lock(mutex_);
        expected_ = serial;
        seen_ = false;
    }
    void onEvent(cObjectList* list) override {
        cObjectDevice* d = dynamic_cast<cObjectDevice*>(list->first());
        std::lock_guard<std::mutex> lock(mutex_);
        if (!d || d->getDeviceSerial() != expected_) return;
        seen_ = true;
        cond_.notify_all();
    }
    bool wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        return cond_.wait_for(lock, std::chrono::milliseconds(kPatienceMs), [this] { return seen_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable cond_;
    unsigned int expected_ = 0;
    bool seen_ = false;
};

class Harness {
public:
    Harness() {
        log4cpp::Category::getRoot().setPriority(log4cpp::Priority::ERROR);
        server_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr;
        std::memset(&addr, 0, sizeof addr);
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        check(server_ >= 0 && bind(server_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
              getsockname(server_, reinterpret_cast<sockaddr*>(&addr), &len) == 0);
        client_->setReplyWait(kPatienceMs);
        client_->setTransmissions(1);
        // Every round must see both callers' requests and the marker. A
        // reply past a memory limit ends its request and rests its number
        // for the reply wait, and a full event queue drops events: with
        // inputs made to hit those limits, numbers would run out and the
        // marker be dropped, both by design. Each round is bounded by its
        // input, so here the limits only get in the way.
        client_->setReplyLimit(static_cast<std::size_t>(-1));
        client_->setAssemblyLimit(static_cast<std::size_t>(-1));
        client_->setEventQueueBytes(static_cast<std::size_t>(-1));
        client_->setPingInterval(3600 * 1000);
        client_->addListener(&marker_);
        g_client = client_.get();
        check(client_->start("127.0.0.1", ntohs(addr.sin_port)) == 1);
        // The client's first datagram, its ping, tells where it listens.
        std::vector<unsigned char> ping;
        sockaddr_in from;
        len = sizeof from;
        check(readDatagram(ping, &from, &len));
        check(connect(server_, reinterpret_cast<sockaddr*>(&from), len) == 0);
        for (unsigned int i = 0; i < kCallers; ++i) std::thread(&Harness::caller, this, i).detach();
    }

    // Stops the client's threads; the callers are idle between inputs.
    void stopClient() {
        g_client = nullptr;
        client_.reset();
    }

    void run(const uint8_t* data, size_t size) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            ++round_;
            done_ = 0;
        }
        cond_.notify_all();
        std::vector<unsigned char> requests[kCallers];
        for (auto& r : requests) {
            check(readDatagram(r, nullptr, nullptr));
            check(r.size() >= VMsg::kDatagramHeader);
        }
        for (const auto& d : datagramsOf(data, size, requests)) sendDatagram(d);
        for (const auto& r : requests) sendDatagram(r);
        sendMarker();
        check(marker_.wait());
        std::unique_lock<std::mutex> lock(mutex_);
        check(cond_.wait_for(lock, std::chrono::milliseconds(kPatienceMs),
                             [this] { return done_ == kCallers; }));
    }

private:
    // Each caller sends one get per input and frees what it gets.
    void caller(unsigned int i) {
        unsigned int seen = 0;
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(mutex_);
                cond_.wait(lock, [&] { return round_ != seen; });
                seen = round_;
            }
            cObjectDevice key;
            key.setDeviceSerial(1001 + i);
            cObjectList asked;
            asked.add(&key);
            if (cObjectList* reply = client_->get(&asked)) {
                reply->deleteObjects();
                delete reply;
            }
            std::lock_guard<std::mutex> lock(mutex_);
            ++done_;
            cond_.notify_all();
        }
    }

    static std::vector<std::vector<unsigned char>> datagramsOf(
        const uint8_t* data, size_t size, const std::vector<unsigned char> (&requests)[kCallers]) {
        std::vector<std::vector<unsigned char>> out;
        for (size_t at = 0; at + 3 <= size && out.size() < kMaxDatagrams;) {
            const unsigned char flags = data[at];
            const size_t len = std::min<size_t>(
                std::min<size_t>((data[at + 1] << 8) | data[at + 2], size - at - 3), kMaxDatagramBytes);
            out.emplace_back(data + at + 3, data + at + 3 + len);
            at += 3 + len;
            std::vector<unsigned char>& d = out.back();
            // Header bytes 3 and 4 are the type and the sequence number
            // (its top bit, reserved, is left as the input has it).
            if (d.size() < 5) continue;
            for (unsigned int i = 0; i < kCallers; ++i)
                if (flags & (1u << i)) d[4] = static_cast<unsigned char>((d[4] & 0x80) | (requests[i][4] & 0x7F));
            if (flags & 4) d[3] = 1;
        }
        return out;
    }

    void sendMarker() {
        ++markers_;
        marker_.expect(kMarkerSerial + markers_);
        cObjectDevice d;
        d.setDeviceSerial(kMarkerSerial + markers_);
        cObjectList list;
        list.add(&d);
        list.setMsgType(2);
        VMsg* msg = list.toMsg();
        std::vector<unsigned char> bytes(64);
        bytes.resize(msg->getMsg(bytes.data(), static_cast<unsigned short>(bytes.size())));
        delete msg;
        check(!bytes.empty());
        sendDatagram(bytes);
    }

    void sendDatagram(const std::vector<unsigned char>& d) {
        ssize_t n;
        do n = send(server_, d.data(), d.size(), 0);
        while (n < 0 && errno == EINTR);
        check(n == static_cast<ssize_t>(d.size()));
    }

    bool readDatagram(std::vector<unsigned char>& out, sockaddr_in* from, socklen_t* len) {
        // libFuzzer's timeout alarm is delivered to this thread (the
        // client's threads block signals), so interrupted calls are retried.
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatienceMs);
        pollfd p = {server_, POLLIN, 0};
        int ready;
        do {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            ready = poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count())));
        } while (ready < 0 && errno == EINTR);
        if (ready != 1) return false;
        out.resize(VMsg::kMaxDatagram);
        ssize_t n;
        do n = recvfrom(server_, out.data(), out.size(), 0, reinterpret_cast<sockaddr*>(from), len);
        while (n < 0 && errno == EINTR);
        if (n < 0) return false;
        out.resize(static_cast<size_t>(n));
        return true;
    }

    int server_;
    // Destroyed at exit (stopClient), before the log categories its threads
    // write to are: a thread still running then would use them destroyed.
    std::unique_ptr<cObjectClient> client_{new cObjectClient};
    MarkerListener marker_;
    unsigned int markers_ = 0;
    std::mutex mutex_;
    std::condition_variable cond_;
    unsigned int round_ = 0;
    unsigned int done_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Made once and never destroyed: its threads serve the whole process.
    static Harness* harness = [] {
        Harness* h = new Harness;
        std::atexit([] { harness->stopClient(); });
        return h;
    }();
    harness->run(data, size);
    return 0;
}
