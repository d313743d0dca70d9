// Request/reply cost of the client: get round trips against the simulator
// on loopback (BM_ClientGet) and against a bare echo server
// (BM_ClientGetEcho: the client's own share), with one and with four
// concurrent callers, beside two references measured in the same run:
//   - a raw UDP ping-pong between two threads, the floor for any client;
//   - a three-thread hand-off: the caller hands its datagram to a sender
//     thread, a receiver thread reads the answer and wakes the caller, the
//     thread structure of the client without anything else it does.
// Each reports the median and the 99th percentile of single round trips
// (p50_us, p99_us; averaged over the threads of a run).
//
// Pinning is left to the shell, so that the same binary is measured on one
// CPU and on two:
//   taskset -c 0 build/bench/wqx_bench_client
//   taskset -c 0,1 build/bench/wqx_bench_client
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <log4cpp/Category.hh>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "device.h"
#include "objclient.h"
#include "simulator.h"

namespace {

typedef std::chrono::steady_clock Clock;

// Single round-trip times of one benchmark thread.
class Latencies {
public:
    explicit Latencies(benchmark::State& state) : state_(state) { times_.reserve(1 << 16); }
    ~Latencies() {
        if (times_.empty()) return;
        std::sort(times_.begin(), times_.end());
        state_.counters["p50_us"] = avg(percentile(50));
        state_.counters["p99_us"] = avg(percentile(99));
    }
    void start() { began_ = Clock::now(); }
    void stop() { times_.push_back(Clock::now() - began_); }

private:
    double percentile(std::size_t p) const {
        const std::size_t i = std::min(times_.size() - 1, times_.size() * p / 100);
        return std::chrono::duration<double, std::micro>(times_[i]).count();
    }
    static benchmark::Counter avg(double v) { return benchmark::Counter(v, benchmark::Counter::kAvgThreads); }

    benchmark::State& state_;
    std::vector<Clock::duration> times_;
    Clock::time_point began_;
};

// One simulator and one started client for every benchmark of the run;
// the client goes first when the run ends.
struct Site {
    Site() {
        sim.seedDefaultSite();
        sim.start();
        client.reset(new cObjectClient);
        client->start("127.0.0.1", sim.port());
    }
    cObjectServerSim sim;
    std::unique_ptr<cObjectClient> client;
};

Site& site() {
    static Site s;
    return s;
}

void BM_ClientGet(benchmark::State& state) {
    cObjectClient* client = site().client.get();
    cObjectDevice key;
    key.setDeviceSerial(1001 + static_cast<unsigned int>(state.thread_index()) % 4);
    Latencies latencies(state);
    for (auto _ : state) {
        latencies.start();
        std::unique_ptr<cObject> got(client->get(&key));
        latencies.stop();
        if (!got) state.SkipWithError("no reply");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ClientGet)->Threads(1)->Threads(4)->UseRealTime()->Unit(benchmark::kMicrosecond);

// A loopback UDP socket bound to a free port.
int boundSocket(sockaddr_in* addr) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    std::memset(addr, 0, sizeof *addr);
    addr->sin_family = AF_INET;
    addr->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof *addr;
    bind(fd, reinterpret_cast<sockaddr*>(addr), sizeof *addr);
    getsockname(fd, reinterpret_cast<sockaddr*>(addr), &len);
    return fd;
}

void* echo(void* arg) {
    const int fd = *static_cast<int*>(arg);
    unsigned char buf[64];
    sockaddr_in from;
    for (;;) {
        socklen_t len = sizeof from;
        const ssize_t n = recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n <= 0) return nullptr;  // an empty datagram ends the echo
        sendto(fd, buf, static_cast<std::size_t>(n), 0, reinterpret_cast<sockaddr*>(&from), len);
    }
}

// An echo server on its own thread and a client socket connected to it.
struct EchoPair {
    EchoPair() {
        sockaddr_in server, client;
        serverFd = boundSocket(&server);
        clientFd = boundSocket(&client);
        connect(clientFd, reinterpret_cast<sockaddr*>(&server), sizeof server);
        pthread_create(&thread, nullptr, echo, &serverFd);
    }
    ~EchoPair() {
        if (write(clientFd, "", 0) == 0) pthread_join(thread, nullptr);
        close(clientFd);
        close(serverFd);
    }
    int serverFd;
    int clientFd;
    pthread_t thread;
};

// The same size as a get of one device by serial.
const std::size_t kRequestBytes = 14;

// The client against a server that only echoes: a request for a device
// comes back as its own reply, so this is the client's share of a round
// trip, comparable with the references below, which use the same echo.
struct EchoSite {
    EchoSite() {
        client.setPingInterval(3600 * 1000);
        sockaddr_in server;
        socklen_t len = sizeof server;
        getsockname(pair.serverFd, reinterpret_cast<sockaddr*>(&server), &len);
        client.start("127.0.0.1", ntohs(server.sin_port));
    }
    EchoPair pair;  // its client socket stays unused
    cObjectClient client;
};

void BM_ClientGetEcho(benchmark::State& state) {
    static EchoSite echoSite;
    cObjectDevice key;
    key.setDeviceSerial(1001 + static_cast<unsigned int>(state.thread_index()) % 4);
    Latencies latencies(state);
    for (auto _ : state) {
        latencies.start();
        std::unique_ptr<cObject> got(echoSite.client.get(&key));
        latencies.stop();
        if (!got) state.SkipWithError("no reply");
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ClientGetEcho)->Threads(1)->Threads(4)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_RawUdpPingPong(benchmark::State& state) {
    EchoPair pair;
    unsigned char buf[64] = {0, 12};
    Latencies latencies(state);
    for (auto _ : state) {
        latencies.start();
        if (write(pair.clientFd, buf, kRequestBytes) != static_cast<ssize_t>(kRequestBytes) ||
            read(pair.clientFd, buf, sizeof buf) != static_cast<ssize_t>(kRequestBytes))
            state.SkipWithError("lost a datagram");
        latencies.stop();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RawUdpPingPong)->UseRealTime()->Unit(benchmark::kMicrosecond);

// Callers hand datagrams to a sender thread through a queue under one lock;
// a receiver thread reads each answer, marks its caller's slot under a
// second lock and wakes the callers, who each wait for their own slot. The
// byte after the length names the slot.
class HandOff {
public:
    static const int kSlots = 8;

    HandOff() : answered_(), stopping_(false) {
        pthread_create(&sender_, nullptr, &HandOff::sendEntry, this);
        pthread_create(&receiver_, nullptr, &HandOff::receiveEntry, this);
    }
    ~HandOff() {
        {
            std::lock_guard<std::mutex> lock(txMutex_);
            stopping_ = true;
        }
        txCond_.notify_one();
        pthread_join(sender_, nullptr);
        // A one-byte datagram comes back and stops the receiver.
        if (write(pair_.clientFd, "x", 1) == 1) pthread_join(receiver_, nullptr);
    }

    bool roundTrip(int slot) {
        {
            std::lock_guard<std::mutex> lock(replyMutex_);
            answered_[slot] = false;
        }
        {
            std::lock_guard<std::mutex> lock(txMutex_);
            queue_.push_back(slot);
        }
        txCond_.notify_one();
        std::unique_lock<std::mutex> lock(replyMutex_);
        return replyCond_.wait_for(lock, std::chrono::seconds(2), [&] { return answered_[slot]; });
    }

private:
    static void* sendEntry(void* self) {
        static_cast<HandOff*>(self)->send();
        return nullptr;
    }
    static void* receiveEntry(void* self) {
        static_cast<HandOff*>(self)->receive();
        return nullptr;
    }

    void send() {
        std::unique_lock<std::mutex> lock(txMutex_);
        for (;;) {
            txCond_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            std::deque<int> batch;
            batch.swap(queue_);
            lock.unlock();
            for (int slot : batch) {
                unsigned char buf[kRequestBytes] = {0, 12, static_cast<unsigned char>(slot)};
                if (write(pair_.clientFd, buf, sizeof buf) != static_cast<ssize_t>(sizeof buf)) return;
            }
            lock.lock();
        }
    }

    void receive() {
        unsigned char buf[64];
        for (;;) {
            const ssize_t n = read(pair_.clientFd, buf, sizeof buf);
            if (n < 3) return;
            {
                std::lock_guard<std::mutex> lock(replyMutex_);
                answered_[buf[2] % kSlots] = true;
            }
            replyCond_.notify_all();
        }
    }

    EchoPair pair_;
    std::mutex txMutex_;
    std::condition_variable txCond_;
    std::deque<int> queue_;
    std::mutex replyMutex_;
    std::condition_variable replyCond_;
    bool answered_[kSlots];
    bool stopping_;
    pthread_t sender_;
    pthread_t receiver_;
};

HandOff* handOff = nullptr;

void BM_ThreeThreadHandOff(benchmark::State& state) {
    if (state.thread_index() == 0) handOff = new HandOff;
    // Benchmark threads start their loops together, after the setup above.
    Latencies latencies(state);
    for (auto _ : state) {
        latencies.start();
        if (!handOff->roundTrip(state.thread_index())) state.SkipWithError("lost a datagram");
        latencies.stop();
    }
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        // Every thread has left its loop before the first one leaves.
        delete handOff;
        handOff = nullptr;
    }
}
BENCHMARK(BM_ThreeThreadHandOff)->Threads(1)->Threads(4)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    log4cpp::Category::getRoot().setPriority(log4cpp::Priority::WARN);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
