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

#include <string>

#include "backoff.h"
#include "blockedthread.h"

namespace {

// A pause after a read error starts at 1 ms and grows to 1 s.
const unsigned int kFirstReadPauseMs = 1;
const unsigned int kLongestReadPauseMs = 1000;
// A write the kernel has no buffer for is tried again after this pause.
const int kNoBufferPauseMs = 1;

// The client whose receive thread this is, if any.
thread_local const void* receivingFor = nullptr;

// strerror is not reentrant; the transmit and receive threads both report.
const char* errorText(int err, char* buf, std::size_t size) {
    return strerror_r(err, buf, size);
}

// Connects a UDP socket to the first address of the list in the given
// family that takes it; -1 when none does.
int connectFirst(const addrinfo* list, int family) {
    for (const addrinfo* a = list; a; a = a->ai_next) {
        if (a->ai_family != family) continue;
        const int fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) continue;
        if (connect(fd, a->ai_addr, a->ai_addrlen) == 0) return fd;
        close(fd);
    }
    return -1;
}

// A connected UDP socket to host:port, or -1. host may be a name or an
// IPv4 or IPv6 literal. IPv4 addresses are tried first: connecting a UDP
// socket proves nothing about the server, and an object server bound to
// IPv4 alone must keep working for a name such as "localhost" that
// resolves to both families, where the resolver would put ::1 first.
int connectedSocket(const char* host, int port) {
    if (!host) return -1;
    addrinfo hints;
    std::memset(&hints, 0, sizeof hints);
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port & 0xFFFF);
    if (getaddrinfo(host, service.c_str(), &hints, &found) != 0) return -1;
    int fd = connectFirst(found, AF_INET);
    if (fd < 0) fd = connectFirst(found, AF_INET6);
    freeaddrinfo(found);
    return fd;
}

void closeIfOpen(int& fd) {
    if (fd >= 0) close(fd);
    fd = -1;
}

}  // namespace

// A segmented event being put together, and when it stops waiting for the
// rest of its segments.
class cObjectClient::cEventAssembly {
public:
    cEventAssembly(unsigned char type, unsigned char seq, std::size_t limit, VAssemblyBudget* budget,
                   Clock::time_point expires)
        : type(type), seq(seq), expires(expires), parts(limit, budget) {}
    const unsigned char type;
    const unsigned char seq;
    const Clock::time_point expires;
    VMsgAssembly parts;
};

cObjectClient::cObjectClient()
    : cVlog("cObjectClient"),
      sock(-1),
      wakeRead(-1),
      wakeWrite(-1),
      kickRead(-1),
      kickWrite(-1),
      rxBuffer(),
      connected(false),
      seqCounter(0),
      seqHeld(),
      seqFreeAt(),
      finished(),
      calls(0),
      stopping(false),
      budget(kDefaultAssemblyLimit),
      eventBudget(kDefaultAssemblyLimit),
      replyLimit(kDefaultReplyLimit),
      eventAsmCount(0),
      txStopping(false),
      lastTx(0),
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
      nMalformed(0),
      nSegDropped(0),
      nTooLarge(0),
      nEventsIncomplete(0),
      nRefused(0) {
    debug("Creating the ObjectClient %p", static_cast<void*>(this));
}

cObjectClient::~cObjectClient() {
    debug("Stopping the ObjectClient %p", static_cast<void*>(this));
    {
        // Waiting requests see the flag, return null and leave; new ones
        // are refused. Nothing below may run while a request is inside.
        std::unique_lock<std::mutex> lock(registryMutex);
        stopping = true;
        for (std::condition_variable& c : replyCond) c.notify_all();
        seqCond.notify_all();
        idleCond.wait(lock, [this] { return calls == 0; });
    }
    stopThreads();
    pump.stop();
    for (VMsg* msg : txQueue) delete msg;
    txQueue.clear();
    for (cEventAssembly* a : eventAsm) delete a;
    eventAsm.clear();
    closeSockets();
}

void cObjectClient::closeSockets() {
    closeIfOpen(sock);
    closeIfOpen(wakeRead);
    closeIfOpen(wakeWrite);
    closeIfOpen(kickRead);
    closeIfOpen(kickWrite);
}

void cObjectClient::stopThreads() {
    {
        std::lock_guard<std::mutex> lock(txMutex);
        txStopping = true;
    }
    txCond.notify_all();
    std::lock_guard<std::mutex> guard(startMutex);
    if (!started) return;
    connected = false;
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
    int wake[2], kick[2];
    if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
        error("Could not create the wake-up pipe");
        close(fd);
        return 0;
    }
    if (pipe2(kick, O_CLOEXEC | O_NONBLOCK) != 0) {
        error("Could not create the wake-up pipe");
        close(fd);
        close(wake[0]);
        close(wake[1]);
        return 0;
    }
    sock = fd;
    wakeRead = wake[0];
    wakeWrite = wake[1];
    kickRead = kick[0];
    kickWrite = kick[1];
    info("Socket Connected OK %d", sock);
    // Pinged from here, before any request can be written: the first
    // datagram on the wire is always the ping.
    ping();
    if (wqx::startBlockedThread(&rxThread, rx_thread_function, this) != 0) {
        error("Could not start the receive thread");
        closeSockets();
        return 0;
    }
    if (wqx::startBlockedThread(&txThread, tx_thread_function, this) != 0) {
        error("Could not start the transmit thread");
        const char stop = 1;
        if (write(wakeWrite, &stop, 1) == 1) pthread_join(rxThread, nullptr);
        closeSockets();
        return 0;
    }
    started = true;
    connected = true;
    return 1;
}

void cObjectClient::setPingInterval(unsigned int ms) {
    pingIntervalMs.store(ms ? ms : 1);
    // The transmit thread may be waiting out the old interval.
    std::lock_guard<std::mutex> lock(txMutex);
    txCond.notify_all();
}

void cObjectClient::setAssemblyLimit(std::size_t bytes) {
    budget.setTotal(bytes ? bytes : 1);
    eventBudget.setTotal(bytes ? bytes : 1);
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
    c.segmentsDropped = nSegDropped.load();
    c.messagesTooLarge = nTooLarge.load();
    c.eventsIncomplete = nEventsIncomplete.load();
    c.requestsRefused = nRefused.load();
    return c;
}

void cObjectClient::addListener(cObjectListener* l) { pump.addListener(l); }

void cObjectClient::removeListener(cObjectListener* l) { pump.removeListener(l); }

// ---- transmit path ----

void cObjectClient::queue_tx_msg(VMsg* msg) {
    if (!msg) return;
    if (refuse_unstarted()) {
        delete msg;
        return;
    }
    std::unique_lock<std::mutex> lock(txMutex);
    txQueue.push_back(msg);
    debug("Queue message q size %d", static_cast<int>(txQueue.size()));
    lock.unlock();
    txCond.notify_one();
}

void* cObjectClient::tx_thread_function(void* client) {
    static_cast<cObjectClient*>(client)->service_tx();
    return nullptr;
}

// Writes what queue_tx_msg queued and pings whenever the ping interval
// passes without a datagram going out (start sent the first ping). Requests
// write their own datagrams on their callers' threads.
void cObjectClient::service_tx() {
    std::unique_lock<std::mutex> lock(txMutex);
    while (!txStopping) {
        if (txQueue.empty()) {
            // Recomputed after every wake-up: a datagram written by a
            // request, or a new interval, moves the deadline.
            const Clock::time_point deadline = Clock::time_point(Clock::duration(lastTx.load())) +
                                               std::chrono::milliseconds(pingIntervalMs.load());
            if (Clock::now() >= deadline) {
                lock.unlock();
                ping();
                lock.lock();
            } else {
                txCond.wait_until(lock, deadline);
            }
            continue;
        }
        std::deque<VMsg*> batch;
        batch.swap(txQueue);
        lock.unlock();
        for (VMsg* msg : batch) {
            tx_msg(msg, Clock::now() + std::chrono::milliseconds(replyWaitMs.load()));
            delete msg;
        }
        lock.lock();
    }
}

// Writes one datagram, waiting until `until` for room in a full socket
// buffer. A connected UDP socket reports an ICMP refusal of an earlier
// datagram on the next call, which then sends nothing: that error belongs
// to the past, so the datagram is written once more.
bool cObjectClient::write_datagram(const void* bytes, std::size_t n, Clock::time_point until) {
    bool refusalSeen = false;
    for (;;) {
        const ssize_t written = write(sock, bytes, n);
        if (written == static_cast<ssize_t>(n)) {
            ++nSent;
            lastTx = Clock::now().time_since_epoch().count();
            debug("Transmit %d of %d bytes", static_cast<int>(written), static_cast<int>(n));
            return true;
        }
        const int err = written < 0 ? errno : EMSGSIZE;
        if (err == EINTR) continue;
        if (err == ECONNREFUSED && !refusalSeen) {
            refusalSeen = true;
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        if ((err == EAGAIN || err == EWOULDBLOCK || err == ENOBUFS) && left.count() > 0) {
            // Room in the buffer shows as POLLOUT; the kernel's own lack of
            // buffers does not, so that case pauses briefly instead. The
            // wake-up pipe cuts either wait short when the client stops.
            pollfd fds[2] = {{wakeRead, POLLIN, 0}, {sock, POLLOUT, 0}};
            const int ms = err == ENOBUFS ? kNoBufferPauseMs : static_cast<int>(left.count());
            if (poll(fds, err == ENOBUFS ? 1 : 2, ms) >= 0 && fds[0].revents) return false;
            continue;
        }
        char text[128];
        debug("Transmit error %d %s", sock, errorText(err, text, sizeof text));
        ++nSendErrors;
        return false;
    }
}

// Writes every segment of msg, in order; false as soon as one cannot be
// written (the message cannot arrive whole without it).
bool cObjectClient::tx_msg(VMsg* msg, Clock::time_point until) {
    const int length = static_cast<int>(msg->getLength());
    debug("Transmit msgid %d %d tags with %d bytes msg is %d bytes Seq=0x%02X", msg->getType(),
          static_cast<int>(msg->getTagCount()), length,
          static_cast<int>(static_cast<unsigned short>(length + 2)), msg->getSeq() & 0x7F);
    debug("Segmenting message");
    if (msg->segmentMessage(VMsg::kMaxSegment) == 0) {
        ++nSendErrors;  // segmentMessage has said why
        return false;
    }
    msg->resetSegment();
    unsigned char buf[VMsg::kMaxSegment];
    while (VMsg* segment = msg->getNextSegment()) {
        const unsigned short n = segment->getMsg(buf, sizeof buf);
        if (n == 0 || !write_datagram(buf, n, until)) return false;
    }
    return true;
}

// The keep-alive: type 1, sequence 0 (no request uses it), one whole
// segment holding tag 8 = 0xFFFFFFFF.
void cObjectClient::ping() {
    VMsg msg(1);
    msg.addTag(VTagFactory::createVTag(8, 0xFFFFFFFFu));
    unsigned char buf[256];
    const unsigned short n = msg.getMsg(buf, sizeof buf);
    debug("Send Ping %d", n);
    write_datagram(buf, n, Clock::now() + std::chrono::milliseconds(replyWaitMs.load()));
}

// ---- receive path ----

void* cObjectClient::rx_thread_function(void* client) {
    receivingFor = client;
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
        // Wakes in time to drop a segmented event whose rest did not come.
        int timeout = -1;
        if (eventAsmCount.load() > 0) {
            std::lock_guard<std::mutex> lock(eventAsmMutex);
            for (const cEventAssembly* a : eventAsm) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    a->expires - Clock::now());
                const int ms = left.count() < 0 ? 0 : static_cast<int>(left.count()) + 1;
                if (timeout < 0 || ms < timeout) timeout = ms;
            }
        }
        pollfd fds[3] = {{sock, POLLIN, 0}, {wakeRead, POLLIN, 0}, {kickRead, POLLIN, 0}};
        const int ready = poll(fds, 3, timeout);
        if (fds[1].revents) return;
        if (fds[2].revents) {
            char drain[64];
            while (read(kickRead, drain, sizeof drain) > 0) {
            }
        }
        expire_events();
        if (ready < 0 ? errno == EINTR : !fds[0].revents) continue;
        const ssize_t n = ready < 0 ? -1 : read(sock, rxBuffer, sizeof rxBuffer);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (n < 0 && errno == ECONNREFUSED) {
            // An ICMP refusal of something we sent: the server is away or
            // restarting. Nothing is wrong with the socket, so no pause:
            // its answers must be read the moment it is back.
            debug("Server refused a datagram");
            continue;
        }
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

void cObjectClient::queue_rx_msg(VMsg* msg) {
    if (!msg) return;
    const unsigned char seq = msg->getSeq() & 0x7F;
    int taken;
    bool ended = false, late = false;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        taken = route_reply(msg, &ended);
        if (!taken) late = isLateReply(msg);
    }
    // Woken after the unlock, the requester does not run straight into
    // the lock this thread still holds.
    if (ended) replyCond[seq].notify_all();
    if (taken) return;
    if (late) ++nLate;
    to_events(msg);
}

// Hands a message that answers no request to the listeners; the segments
// of one are put together first, so a listener sees a message whole or not
// at all.
void cObjectClient::to_events(VMsg* msg) {
    if (msg->isWhole()) {
        pump.pumpEvent(msg);
        return;
    }
    const unsigned char type = msg->getType();
    const unsigned char seq = msg->getSeq() & 0x7F;
    VMsg* whole = nullptr;
    {
        std::lock_guard<std::mutex> lock(eventAsmMutex);
        auto it = eventAsm.begin();
        while (it != eventAsm.end() && ((*it)->type != type || (*it)->seq != seq)) ++it;
        if (it == eventAsm.end()) {
            const Clock::time_point expires =
                Clock::now() + std::chrono::milliseconds(replyWaitMs.load());
            it = eventAsm.insert(eventAsm.end(),
                                 new cEventAssembly(type, seq, replyLimit.load(), &eventBudget, expires));
            eventAsmCount = eventAsm.size();
            if (kickWrite >= 0 && receivingFor != this) {
                const char kick = 1;
                if (write(kickWrite, &kick, 1) < 0) debug("Receive thread already woken");
            }
        }
        switch ((*it)->parts.add(msg)) {
        case VMsgAssembly::ASM_PART: return;
        case VMsgAssembly::ASM_WHOLE: whole = (*it)->parts.take(); break;
        case VMsgAssembly::ASM_TOO_LARGE:
            ++nTooLarge;
            warn("Event Seq=%d passed its memory limit, dropped", seq);
            break;
        default:
            ++nSegDropped;
            return;
        }
        delete *it;
        eventAsm.erase(it);
        eventAsmCount = eventAsm.size();
    }
    if (whole) pump.pumpEvent(whole);
}

// Drops segmented events that have waited their time for missing segments.
void cObjectClient::expire_events() {
    if (eventAsmCount.load() == 0) return;
    std::lock_guard<std::mutex> lock(eventAsmMutex);
    const Clock::time_point now = Clock::now();
    for (auto it = eventAsm.begin(); it != eventAsm.end();) {
        if ((*it)->expires > now) {
            ++it;
            continue;
        }
        warn("Event Seq=%d dropped: %u of its segments came", (*it)->seq,
             static_cast<unsigned>((*it)->parts.getReceived()));
        delete *it;  // its bytes are given back before it is counted
        it = eventAsm.erase(it);
        eventAsmCount = eventAsm.size();
        ++nEventsIncomplete;
    }
}
