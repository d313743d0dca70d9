// The client itself: construction and shutdown, the connection, the
// transmit thread and the receive thread. Requests are in objrequests.cpp.
#include "objclient.h"

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "backoff.h"

namespace {

// A pause after a read error starts at 1 ms and grows to 1 s.
const unsigned int kFirstReadPauseMs = 1;
const unsigned int kLongestReadPauseMs = 1000;

// strerror is not reentrant; the transmit and receive threads both report.
const char* errorText(int err, char* buf, std::size_t size) {
    return strerror_r(err, buf, size);
}

bool resolve(const char* host, in_addr* address) {
    if (!host) return false;
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host, nullptr, &hints, &found) != 0 || !found) return false;
    *address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

// A connected UDP socket to host:port, or -1.
int connectedSocket(const char* host, int port) {
    in_addr address;
    if (!resolve(host, &address)) return -1;
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) return -1;
    sockaddr_in server;
    std::memset(&server, 0, sizeof server);
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<unsigned short>(port & 0xFFFF));
    server.sin_addr = address;
    if (connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) < 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void closeIfOpen(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

}  // namespace

cObjectClient::cObjectClient()
    : cVlog("cObjectClient"),
      sock(-1),
      wakeRead(-1),
      wakeWrite(-1),
      rxBuffer(),
      txBuffer(),
      seqCounter(0),
      finished(),
      calls(0),
      stopping(false),
      txStopping(false),
      txReady(false),
      txDraining(false),
      lastTx(),
      started(false),
      rxThread(),
      txThread(),
      replyWaitMs(2000),
      transmissions(3),
      pingIntervalMs(10000),
      nSent(0),
      nReceived(0),
      nSendErrors(0),
      nReadErrors(0),
      nRetransmissions(0),
      nGivenUp(0),
      nLate(0),
      nMalformed(0) {
    debug("Creating the ObjectClient %p", static_cast<void*>(this));
}

cObjectClient::~cObjectClient() {
    debug("Stopping the ObjectClient %p", static_cast<void*>(this));
    {
        // Waiting requests see the flag, return null and leave; new ones
        // are refused. Nothing below may run while a request is inside.
        std::unique_lock<std::mutex> lock(registryMutex);
        stopping = true;
        replyCond.notify_all();
        idleCond.wait(lock, [this] { return calls == 0; });
    }
    stopThreads();
    pump.stop();
    for (VMsg* msg : txQueue) delete msg;
    txQueue.clear();
    closeSockets();
}

void cObjectClient::closeSockets() {
    closeIfOpen(sock);
    closeIfOpen(wakeRead);
    closeIfOpen(wakeWrite);
}

void cObjectClient::stopThreads() {
    {
        std::lock_guard<std::mutex> lock(txMutex);
        txStopping = true;
    }
    txCond.notify_all();
    std::lock_guard<std::mutex> guard(startMutex);
    if (!started) return;
    const char wake = 1;
    if (write(wakeWrite, &wake, 1) != 1) error("Could not wake the receive thread");
    pthread_join(txThread, nullptr);
    pthread_join(rxThread, nullptr);
    started = false;
}

int cObjectClient::start(const char* host, int port) {
    std::lock_guard<std::mutex> guard(startMutex);
    info("Starting the client for %s:%d", host ? host : "(null)", port);
    if (started) {
        warn("Client already started, not starting it again");
        return 0;
    }
    const int fd = connectedSocket(host, port);
    if (fd < 0) {
        error("Could not connect the socket");
        return 0;
    }
    int wake[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        error("Could not create the wake-up pipe");
        close(fd);
        return 0;
    }
    sock = fd;
    wakeRead = wake[0];
    wakeWrite = wake[1];
    info("Socket Connected OK %d", sock);
    if (pthread_create(&rxThread, nullptr, rx_thread_function, this) != 0) {
        error("Could not start the receive thread");
        closeSockets();
        return 0;
    }
    if (pthread_create(&txThread, nullptr, tx_thread_function, this) != 0) {
        error("Could not start the transmit thread");
        const char stop = 1;
        if (write(wakeWrite, &stop, 1) == 1) pthread_join(rxThread, nullptr);
        closeSockets();
        return 0;
    }
    started = true;
    return 1;
}

cObjectClient::cCounters cObjectClient::getCounters() const {
    cCounters c;
    c.datagramsSent = nSent.load();
    c.datagramsReceived = nReceived.load();
    c.sendErrors = nSendErrors.load();
    c.readErrors = nReadErrors.load();
    c.retransmissions = nRetransmissions.load();
    c.requestsGivenUp = nGivenUp.load();
    c.lateReplies = nLate.load();
    c.malformedDropped = nMalformed.load();
    c.eventsDelivered = pump.getDelivered();
    c.eventsDropped = pump.getDropped();
    return c;
}

void cObjectClient::addListener(cObjectListener* l) { pump.addListener(l); }

void cObjectClient::removeListener(cObjectListener* l) { pump.removeListener(l); }

// ---- transmit path ----

void cObjectClient::queue_tx_msg(VMsg* msg) {
    if (!msg) return;
    std::unique_lock<std::mutex> lock(txMutex);
    txQueue.push_back(msg);
    debug("Queue message q size %d", static_cast<int>(txQueue.size()));
    if (txReady && !txDraining && txQueue.size() == 1) {
        // Nothing is ahead of it and the transmit thread is idle: write it
        // from here, which spares a thread hand-over on every request.
        txQueue.pop_front();
        tx_msg(msg);
        lastTx = Clock::now();
        lock.unlock();
        delete msg;
        return;
    }
    lock.unlock();
    txCond.notify_one();
}

void* cObjectClient::tx_thread_function(void* client) {
    static_cast<cObjectClient*>(client)->service_tx();
    return nullptr;
}

void cObjectClient::service_tx() {
    ping();
    std::unique_lock<std::mutex> lock(txMutex);
    lastTx = Clock::now();
    txReady = true;
    while (!txStopping) {
        if (txQueue.empty()) {
            // The queue is tested before every wait, so a message queued
            // while this thread was busy goes out now, not at the deadline.
            const Clock::time_point deadline =
                lastTx + std::chrono::milliseconds(pingIntervalMs.load());
            const bool woken = txCond.wait_until(
                lock, deadline, [this] { return txStopping || !txQueue.empty(); });
            // Requests written by their callers meanwhile moved the deadline.
            if (!woken && Clock::now() >= lastTx + std::chrono::milliseconds(pingIntervalMs.load())) {
                ping();
                lastTx = Clock::now();
            }
            continue;
        }
        // Written without the lock, so requests can queue meanwhile; they
        // queue behind this batch while txDraining is set, keeping order.
        std::deque<VMsg*> batch;
        batch.swap(txQueue);
        txDraining = true;
        lock.unlock();
        for (VMsg* msg : batch) {
            tx_msg(msg);
            delete msg;
        }
        lock.lock();
        txDraining = false;
        lastTx = Clock::now();
    }
}

// Writes one datagram. A connected UDP socket reports an ICMP refusal of an
// earlier datagram on the next call, which then sends nothing: that error
// belongs to the past, so the datagram is written once more rather than
// lost until the request's next transmission.
ssize_t cObjectClient::write_datagram(const void* bytes, std::size_t n) {
    ssize_t written = write(sock, bytes, n);
    if (written < 0 && errno == ECONNREFUSED) written = write(sock, bytes, n);
    return written;
}

void cObjectClient::tx_msg(VMsg* msg) {
    const int length = static_cast<int>(msg->getLength());
    debug("Transmit msgid %d %d tags with %d bytes msg is %d bytes Seq=0x%02X", msg->getType(),
          static_cast<int>(msg->getTagCount()), length,
          static_cast<int>(static_cast<unsigned short>(length + 2)), msg->getSeq() & 0x7F);
    debug("Segmenting message");
    msg->segmentMessage(sizeof txBuffer);
    msg->resetSegment();
    while (VMsg* segment = msg->getNextSegment()) {
        const unsigned short n = segment->getMsg(txBuffer, sizeof txBuffer);
        if (n == 0) continue;  // getMsg has said why
        const ssize_t written = write_datagram(txBuffer, n);
        if (written < 0) {
            char buf[128];
            debug("Transmit error %d %s", sock, errorText(errno, buf, sizeof buf));
            ++nSendErrors;
            continue;
        }
        ++nSent;
        debug("Transmit %d of %d bytes", static_cast<int>(written), static_cast<int>(n));
    }
}

void cObjectClient::ping() {
    VMsg msg(1);
    msg.addTag(VTagFactory::createVTag(8, 0xFFFFFFFFu));
    unsigned char buf[256];
    const unsigned short n = msg.getMsg(buf, sizeof buf);
    debug("Send Ping %d", n);
    if (write_datagram(buf, n) < 0) {
        char text[128];
        debug("Transmit error %d %s", sock, errorText(errno, text, sizeof text));
        ++nSendErrors;
        return;
    }
    ++nSent;
}

// ---- receive path ----

void* cObjectClient::rx_thread_function(void* client) {
    static_cast<cObjectClient*>(client)->service_rx();
    return nullptr;
}

bool cObjectClient::waitForStop(unsigned int ms) {
    pollfd wake = {wakeRead, POLLIN, 0};
    return poll(&wake, 1, static_cast<int>(ms)) > 0;
}

void cObjectClient::service_rx() {
    wqx::Backoff backoff(kFirstReadPauseMs, kLongestReadPauseMs);
    for (;;) {
        pollfd fds[2] = {{sock, POLLIN, 0}, {wakeRead, POLLIN, 0}};
        const int ready = poll(fds, 2, -1);
        if (fds[1].revents) return;
        if (ready < 0 && errno == EINTR) continue;
        const ssize_t n = ready < 0 ? -1 : read(sock, rxBuffer, sizeof rxBuffer);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (n < 1) {
            ++nReadErrors;
            warn("Socket Read Error %d", static_cast<int>(n));
            // An error that does not clear must not spin this thread.
            if (n < 0 && waitForStop(backoff.next())) return;
            continue;
        }
        backoff.reset();
        ++nReceived;
        VMsg* msg = VMsg::parseMsg(rxBuffer, static_cast<unsigned short>(n));
        if (!msg) {
            ++nMalformed;
            debug("Dropped %d bytes that do not decode", static_cast<int>(n));
            continue;
        }
        debug("Received %d bytes from server Seq=0x%02X", static_cast<int>(n), msg->getSeq() & 0x7F);
        queue_rx_msg(msg);
    }
}

namespace {

// Whether msg could be (part of) a reply. A reply carries objects, or
// nothing at all; a message of tags without any object, such as the
// server's answer to a ping (type 1, sequence 0, like the first request),
// must not be taken for a reply segment: its tags would be applied to
// every object of the real reply.
bool mayAnswerRequest(const VMsg* msg) {
    if (msg->getTagCount() == 0) return true;
    for (const VTag* tag : msg->getTags())
        if (WQX::DictDef->isObjectCode(tag->getTag())) return true;
    return false;
}

}  // namespace

void cObjectClient::queue_rx_msg(VMsg* msg) {
    if (!msg) return;
    const bool reply = mayAnswerRequest(msg);
    int taken = 0;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        if (reply) taken = update_tx_registry(msg);
        if (!taken && reply && isLateReply(msg)) ++nLate;
    }
    // Woken after the unlock, the requester does not run straight into
    // the lock this thread still holds.
    if (taken)
        replyCond.notify_all();
    else
        pump.pumpEvent(msg);
}
