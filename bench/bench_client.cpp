// Request/reply cost of the client: get round trips against the simulator
// on loopback, with one and with four concurrent callers, and a raw UDP
// ping-pong between two threads measured in the same run as the floor.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <log4cpp/Category.hh>
#include <netinet/in.h>
#include <pthread.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>

#include "device.h"
#include "objclient.h"
#include "simulator.h"

namespace {

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
    for (auto _ : state) {
        std::unique_ptr<cObject> got(client->get(&key));
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

// The same size as a get of one device by serial.
void BM_RawUdpPingPong(benchmark::State& state) {
    sockaddr_in server, client;
    int serverFd = boundSocket(&server);
    const int clientFd = boundSocket(&client);
    connect(clientFd, reinterpret_cast<sockaddr*>(&server), sizeof server);
    pthread_t thread;
    pthread_create(&thread, nullptr, echo, &serverFd);
    unsigned char buf[64] = {0, 12};
    for (auto _ : state) {
        if (write(clientFd, buf, 14) != 14 || read(clientFd, buf, sizeof buf) != 14)
            state.SkipWithError("lost a datagram");
    }
    if (write(clientFd, buf, 0) < 0) state.SkipWithError("cannot stop the echo");
    pthread_join(thread, nullptr);
    close(clientFd);
    close(serverFd);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RawUdpPingPong)->UseRealTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    log4cpp::Category::getRoot().setPriority(log4cpp::Priority::WARN);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
