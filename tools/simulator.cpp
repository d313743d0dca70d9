#include "simulator.h"

#include "device.h"
#include "taglist.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace {

const std::size_t kSegmentBytes = 1024;
const std::size_t kReadBytes = 65536;    // more than any datagram, to see oversized ones
const std::size_t kKeepReceived = 4096;  // datagrams remembered for tests
const unsigned char kMsgInfoCode = 65;
const unsigned char kIndexesOnlyTag = 66;
const unsigned char kMaxRepliesTag = 69;
const std::size_t kMaxLastAnswers = 1024;  // kept for interleaveAnswers, oldest dropped
// A flood's segment total is one more than its segments and must fit 16 bits.
const unsigned int kMaxFloodSegments = 0xFFFE;

// The default site, one object per line: adding an object is adding a line.
const char* const kDefaultSite[] = {
    R"([{"objectType":"OBJ_SITE_CFG"},{"objectValues":[{"TAG_SITE_ID":"NORTH-RES-01"},{"TAG_SITE_LABEL":"North reservoir"},{"TAG_SITE_STATE":0},{"TAG_SITE_CURR_EVT_SEQ":3},{"TAG_SITE_CURR_TREND_SEQ":2},{"TAG_SITE_CURR_ADHOC_SEQ":0},{"TAG_SITE_LAST_EVT_SEQ":1},{"TAG_SITE_LAST_TREND_SEQ":1},{"TAG_SITE_LAST_ADHOC_SEQ":0},{"TAG_SITE_NMS_ADDRESS":"10.20.0.5"},{"TAG_VERSION":1}]}])",
    R"([{"objectType":"OBJ_DEVICE"},{"objectValues":[{"TAG_DEV_ID":1001},{"TAG_DEV_LABEL":"Pump house RTU"},{"TAG_DEV_STATE":0},{"TAG_DEV_TYPE":2},{"TAG_DEV_NDISCINPUT":2},{"TAG_DEV_NDISCOUTPUT":1}]}])",
    R"([{"objectType":"OBJ_DEVICE"},{"objectValues":[{"TAG_DEV_ID":1002},{"TAG_DEV_LABEL":"Reservoir level"},{"TAG_DEV_STATE":0},{"TAG_DEV_TYPE":3},{"TAG_DEV_NANALOGINPUT":1},{"TAG_DEV_NANALOGOUTPUT":1}]}])",
    R"([{"objectType":"OBJ_DEVICE"},{"objectValues":[{"TAG_DEV_ID":1003},{"TAG_DEV_LABEL":"Gate controller"},{"TAG_DEV_TYPE":1},{"TAG_DEV_NDISCINPUT":2},{"TAG_DEV_NDISCOUTPUT":2}]}])",
    R"([{"objectType":"OBJ_DEVICE"},{"objectValues":[{"TAG_DEV_ID":1004},{"TAG_DEV_LABEL":"Chlorine dosing"},{"TAG_DEV_TYPE":5},{"TAG_DEV_NANALOGINPUT":2},{"TAG_DEV_NANALOGOUTPUT":1}]}])",
    R"([{"objectType":"OBJ_PORT"},{"objectValues":[{"TAG_IO_PNUM":9},{"TAG_DEV_ID":1001},{"TAG_IO_LABEL":"Service port"},{"TAG_PORT_STATE":0}]}])",
    R"([{"objectType":"OBJ_PORT_DIN"},{"objectValues":[{"TAG_DEV_ID":1001},{"TAG_IO_PNUM":1},{"TAG_IO_DEFAULT_STATE":0},{"TAG_IO_STATE":0},{"TAG_IO_STATUS":0},{"TAG_IO_LABEL":"Door switch"}]}])",
    R"([{"objectType":"OBJ_PORT_DIN"},{"objectValues":[{"TAG_DEV_ID":1001},{"TAG_IO_PNUM":2},{"TAG_IO_DEFAULT_STATE":0},{"TAG_IO_STATE":1},{"TAG_IO_STATUS":0},{"TAG_IO_LABEL":"Pump running"}]}])",
    R"([{"objectType":"OBJ_PORT_DOUT"},{"objectValues":[{"TAG_DEV_ID":1001},{"TAG_IO_PNUM":3},{"TAG_IO_DEFAULT_STATE":0},{"TAG_IO_STATE":0},{"TAG_IO_STATUS":0},{"TAG_IO_LABEL":"Pump start"}]}])",
    R"([{"objectType":"OBJ_PORT_AIN"},{"objectValues":[{"TAG_DEV_ID":1002},{"TAG_IO_PNUM":1},{"TAG_IO_STATUS":0},{"TAG_IO_LABEL":"Water level"},{"TAG_IO_SAMPLED_VALUE":3.25},{"TAG_IO_OFFSET":0.0},{"TAG_IO_GAIN":1.0},{"TAG_AI_ALARM_LOW_WARN":1.0},{"TAG_AI_ALARM_HIGH_WARN":4.5},{"TAG_AI_SAMPLE_RATE":10},{"TAG_AI_REPORT_RATE":60},{"TAG_AI_DISPLAY_UNIT":"m"}]}])",
    R"([{"objectType":"OBJ_PORT_AOUT"},{"objectValues":[{"TAG_DEV_ID":1002},{"TAG_IO_PNUM":2},{"TAG_IO_LABEL":"Inlet valve"},{"TAG_AO_OUTPUT_VALUE":40.0},{"TAG_AO_DISPLAY_UNIT":"%"},{"TAG_AO_MINIMUM_VALUE":0.0},{"TAG_AO_MAXIMUM_VALUE":100.0}]}])",
    R"([{"objectType":"OBJ_EVENT"},{"objectValues":[{"TAG_EVT_SEQ":1},{"TAG_EVT_TYPE":1},{"TAG_EVT_TIMESTAMP":1796000000},{"TAG_DEV_ID":1001},{"TAG_PORT_PNUM":1},{"TAG_EVT_ALARM_STATUS":1}]}])",
    R"([{"objectType":"OBJ_EVENT"},{"objectValues":[{"TAG_EVT_SEQ":2},{"TAG_EVT_TYPE":1},{"TAG_EVT_TIMESTAMP":1796000600},{"TAG_DEV_ID":1001},{"TAG_PORT_PNUM":1},{"TAG_EVT_ALARM_STATUS":0}]}])",
    R"([{"objectType":"OBJ_TREND_EVENT"},{"objectValues":[{"TAG_EVT_SEQ":1},{"TAG_EVT_TIMESTAMP":1796000000},{"TAG_DEV_ID":1002},{"TAG_PORT_PNUM":1},{"TAG_AI_CALCULATED_VALUE":3.2}]}])",
    R"([{"objectType":"OBJ_TREND_EVENT"},{"objectValues":[{"TAG_EVT_SEQ":2},{"TAG_EVT_TIMESTAMP":1796003600},{"TAG_DEV_ID":1002},{"TAG_PORT_PNUM":1},{"TAG_AI_CALCULATED_VALUE":3.25}]}])",
};

// An object's tags as (number, encoded value) pairs, wire object code
// left out: the form in which any two objects of a class compare field by
// field.
using FieldSet = std::vector<std::pair<unsigned char, std::vector<unsigned char>>>;

FieldSet fieldsOf(cObject* obj) {
    FieldSet out;
    std::unique_ptr<cTagList> tags(obj->getTags());
    if (!tags) return out;
    delete tags->get();  // the wire object code
    while (VTag* t = tags->get()) {
        std::vector<unsigned char> value(t->getLength());
        t->putValue(value.data());
        out.emplace_back(t->getTag(), std::move(value));
        delete t;
    }
    return out;
}

// A request object matches a stored object of its class when every field
// the request sets has the stored object's value: the identity alone finds
// one object, part of it (a device serial for ports) finds several, and an
// object with no field set finds every object of its class.
bool matches(cObject* request, cObject* stored) {
    if (request->getType() != stored->getType()) return false;
    const FieldSet have = fieldsOf(stored);
    for (const auto& f : fieldsOf(request))
        if (std::find(have.begin(), have.end(), f) == have.end()) return false;
    return true;
}

// The tag numbers of obj's identity, found by leaving each field out in
// turn: a field without which the object no longer compares equal to
// itself (compIndex) is part of its identity. No class needs a table.
std::vector<unsigned char> identityTags(cObject* obj) {
    std::vector<unsigned char> identity;
    std::unique_ptr<cTagList> tags(obj->getTags());
    VMsg all(0);
    while (VTag* t = tags->get()) all.addTag(t);
    for (std::size_t skip = 1; skip < all.getTagCount(); ++skip) {
        VMsg without(0);
        for (std::size_t i = 0; i < all.getTagCount(); ++i)
            if (i != skip) without.addTag(all.getTags()[i]->clone());
        std::unique_ptr<cObjectList> back(cObject::parseMsg(&without));
        cObject* reduced = back->first();
        if (reduced && !obj->compIndex(reduced)) identity.push_back(all.getTags()[skip]->getTag());
        back->deleteObjects();
    }
    return identity;
}

// Moves the object's tags into msg, only its identity fields when
// indexesOnly is set.
void addObjectTags(VMsg* msg, cObject* obj, bool indexesOnly) {
    std::unique_ptr<cTagList> tags(obj->getTags());
    if (!tags) return;
    const std::vector<unsigned char> identity =
        indexesOnly ? identityTags(obj) : std::vector<unsigned char>();
    bool first = true;
    while (VTag* t = tags->get()) {
        if (indexesOnly && !first &&
            std::find(identity.begin(), identity.end(), t->getTag()) == identity.end())
            delete t;
        else
            msg->addTag(t);
        first = false;
    }
}

bool sameClient(const sockaddr_in& a, const sockaddr_in& b) {
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

// A message of small objects, devices with only a serial, as many as keep
// its datagram within maxDatagram bytes (one at least): the cheapest way to
// make a receiver hold many tags per byte.
std::unique_ptr<VMsg> smallObjects(unsigned char type, std::size_t maxDatagram) {
    std::unique_ptr<VMsg> msg(new VMsg(type));
    // A datagram is its message and the length field in front of it.
    const std::size_t prefix = VMsg::kDatagramHeader - msg->getLength();
    for (unsigned int serial = 1;; ++serial) {
        cObjectDevice device;
        device.setDeviceSerial(serial);
        std::unique_ptr<cTagList> tags(device.getTags());
        std::vector<VTag*> object;
        std::size_t grows = 0;
        while (VTag* t = tags->get()) {
            object.push_back(t);
            grows += 4 + t->getLength();  // number, value type, value length, value
        }
        if (serial > 1 && prefix + msg->getLength() + grows > maxDatagram) {
            for (VTag* t : object) delete t;
            break;
        }
        for (VTag* t : object) msg->addTag(t);
    }
    return msg;
}

// The datagram of msg as it is, whole or one segment; empty when it does
// not fit a datagram the parser accepts.
std::vector<unsigned char> encoded(const VMsg& msg) {
    unsigned char buf[VMsg::kMaxDatagram];
    const unsigned short n = msg.getMsg(buf, sizeof buf);
    return std::vector<unsigned char>(buf, buf + n);
}

}  // namespace

cObjectServerSim::cObjectServerSim()
    : fd_(-1),
      wake_{-1, -1},
      port_(0),
      thread_(),
      running_(false),
      eventSeq_(0),
      sent_(0),
      budget_(kAssemblyBudget) {}

cObjectServerSim::~cObjectServerSim() {
    stop();
    for (cObject* obj : store_) delete obj;
}

bool cObjectServerSim::start(unsigned short port) {
    if (running_) return false;
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0) return false;
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof addr);
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
        pipe2(wake_, O_CLOEXEC) != 0) {
        close(fd_);
        fd_ = -1;
        return false;
    }
    port_ = ntohs(addr.sin_port);
    running_ = pthread_create(&thread_, nullptr, threadEntry, this) == 0;
    return running_;
}

void cObjectServerSim::stop() {
    if (running_) {
        const char wake = 1;
        if (write(wake_[1], &wake, 1) == 1) pthread_join(thread_, nullptr);
        running_ = false;
    }
    for (int* fd : {&fd_, &wake_[0], &wake_[1]}) {
        if (*fd >= 0) close(*fd);
        *fd = -1;
    }
}

void* cObjectServerSim::threadEntry(void* sim) {
    static_cast<cObjectServerSim*>(sim)->serve();
    return nullptr;
}

void cObjectServerSim::serve() {
    std::vector<unsigned char> buf(kReadBytes);
    for (;;) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) continue;
        if (fds[1].revents) return;
        sockaddr_in from;
        socklen_t len = sizeof from;
        const ssize_t n =
            recvfrom(fd_, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr*>(&from), &len);
        if (n >= 0) handle(buf.data(), static_cast<std::size_t>(n), from);
    }
}

// ---- the store ----

void cObjectServerSim::add(cObject* obj) {
    if (!obj) return;
    std::lock_guard<std::mutex> lock(mutex_);
    for (cObject*& stored : store_) {
        if (obj->compIndex(stored)) {
            delete stored;
            stored = obj;
            return;
        }
    }
    store_.push_back(obj);
}

bool cObjectServerSim::seedJSON(const char* text) {
    std::unique_ptr<cObjectList> list(cObject::parseJSON(text));
    const int n = list->numObjects();
    while (cObject* obj = list->get()) add(obj);
    return n > 0;
}

bool cObjectServerSim::seedFile(const char* path) {
    std::ifstream in(path);
    if (!in) return false;
    std::stringstream text;
    text << in.rdbuf();
    return seedJSON(text.str().c_str());
}

std::string cObjectServerSim::defaultSiteJSON() {
    std::string doc = "[";
    for (const char* line : kDefaultSite) {
        if (doc.size() > 1) doc += ",\n";
        doc += line;
    }
    return doc + "]";
}

void cObjectServerSim::seedDefaultSite() { seedJSON(defaultSiteJSON().c_str()); }

int cObjectServerSim::storeSize() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(store_.size());
}

cObject* cObjectServerSim::find(cObject* key) const {
    if (!key) return nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    for (cObject* stored : store_)
        if (key->compIndex(stored)) return stored->clone();
    return nullptr;
}

// ---- requests ----

cObjectServerSim::cDatagram cObjectServerSim::describe(VMsg* msg, const unsigned char* bytes,
                                                       std::size_t len) const {
    cDatagram d;
    d.type = msg ? msg->getType() : 0;
    d.seq = msg ? msg->getSeq() : 0;
    d.index = msg ? msg->getSegmentIndex() : 0;
    d.total = msg ? msg->getSegmentTotal() : 0;
    d.last = msg && msg->isLastSegment();
    d.decoded = msg != nullptr;
    d.indexesOnly = false;
    d.maxReplies = 0;
    d.bytes.assign(bytes, bytes + len);
    if (!msg) {
        d.ping = false;
        return d;
    }
    unsigned char code = 0;
    for (VTag* t : msg->getTags()) {
        if (WQX::DictDef->isObjectCode(t->getTag())) {
            code = t->getTag();
            d.objectCodes.push_back(code);
        } else if (code == kMsgInfoCode && t->getTag() == kIndexesOnlyTag) {
            d.indexesOnly = true;
        } else if (code == kMsgInfoCode && t->getTag() == kMaxRepliesTag) {
            d.maxReplies = cTagList::getUInt32(t);
        }
    }
    // A continuation segment carries no object code either; only a whole
    // message can be a ping.
    d.ping = msg->isWhole() && d.objectCodes.empty() && msg->getTagCount() > 0;
    return d;
}

void cObjectServerSim::noteClient(const sockaddr_in& from) {
    for (const sockaddr_in& c : clients_)
        if (sameClient(c, from)) return;
    clients_.push_back(from);
}

void cObjectServerSim::handle(const unsigned char* bytes, std::size_t len,
                              const sockaddr_in& from) {
    std::unique_ptr<VMsg> msg(VMsg::parseMsg(bytes, static_cast<unsigned short>(
                                                        std::min<std::size_t>(len, 0xFFFF))));
    const cDatagram seen = describe(msg.get(), bytes, len);
    bool ignore;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        noteClient(from);
        ignore = !msg || faults_.silent;
        // A whole request is counted here; a segmented one when it is
        // whole, below. Random loss hits each datagram, as a network would.
        if (!ignore && !seen.ping && seen.total == 1 && faults_.dropRequests > 0) {
            --faults_.dropRequests;
            ignore = true;
        }
        if (!ignore && !seen.ping && chance(faults_.lossPercent)) ignore = true;
    }
    if (!ignore && msg->isWhole()) {
        // The client has reused the sequence: what was left of an earlier
        // message under it will never be completed.
        forgetAssembly(from, seen.type, seen.seq);
        respond(msg.get(), seen, from);
    } else if (!ignore) {
        std::unique_ptr<VMsg> whole(assemble(msg.release(), from));
        if (whole) {
            cDatagram request = describe(whole.get(), nullptr, 0);
            request.ping = false;  // a ping is one datagram; this is a request
            bool drop = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (faults_.dropRequests > 0) {
                    --faults_.dropRequests;
                    drop = true;
                }
            }
            if (!drop) respond(whole.get(), request, from);
        }
    }
    // Recorded once handled, so a test that saw it come in also sees the
    // answer sent or held.
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (received_.size() >= kKeepReceived)
            received_.erase(received_.begin(), received_.begin() + kKeepReceived / 2);
        received_.push_back(seen);
    }
    cond_.notify_all();
}

void cObjectServerSim::forgetAssembly(const sockaddr_in& from, unsigned char type,
                                      unsigned char seq) {
    pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                  [&](const cPending& p) {
                                      return p.type == type && p.seq == seq &&
                                             sameClient(p.from, from);
                                  }),
                   pending_.end());
}

VMsg* cObjectServerSim::assemble(VMsg* segment, const sockaddr_in& from) {
    std::unique_ptr<VMsg> owned(segment);
    const auto now = std::chrono::steady_clock::now();
    // A client that gave up on a request leaves its assembly behind: the
    // old ones go first, so that they cannot hold the budget for good.
    pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                  [&](const cPending& p) {
                                      return now - p.started >=
                                             std::chrono::milliseconds(kAssemblyLifeMs);
                                  }),
                   pending_.end());
    auto it = std::find_if(pending_.begin(), pending_.end(), [&](const cPending& p) {
        return p.type == segment->getType() && p.seq == segment->getSeq() &&
               sameClient(p.from, from);
    });
    // Another segment count under the same sequence is another message:
    // the earlier one was abandoned.
    if (it != pending_.end() && it->total != segment->getSegmentTotal()) {
        pending_.erase(it);
        it = pending_.end();
    }
    if (it == pending_.end()) {
        if (pending_.size() >= kMaxAssemblies) pending_.erase(pending_.begin());
        cPending p;
        p.from = from;
        p.type = segment->getType();
        p.seq = segment->getSeq();
        p.total = segment->getSegmentTotal();
        p.started = now;
        p.assembly.reset(new VMsgAssembly(kAssemblyLimit, &budget_));
        pending_.push_back(std::move(p));
        it = pending_.end() - 1;
    }
    switch (it->assembly->add(owned.release())) {
        case VMsgAssembly::ASM_WHOLE: {
            VMsg* whole = it->assembly->take();
            pending_.erase(it);
            return whole;
        }
        case VMsgAssembly::ASM_TOO_LARGE:
            // Nothing of it is held any more; what comes after starts over.
            pending_.erase(it);
            return nullptr;
        default:
            return nullptr;
    }
}

void cObjectServerSim::respond(VMsg* msg, const cDatagram& seen, const sockaddr_in& from) {
    if (seen.ping) {
        bool empty;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            empty = faults_.emptyPingAnswer;
        }
        if (!empty) {
            transmit({{seen.bytes}, from});
        } else {
            VMsg nothing(seen.type);
            nothing.setSeq(seen.seq);
            transmit({{encoded(nothing)}, from});
        }
        return;
    }
    if (seen.type == 0) {
        store(msg);
        return;
    }
    unsigned int flood;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        flood = std::min(faults_.floodSegments, kMaxFloodSegments);
        faults_.floodSegments = 0;
    }
    if (flood > 0)
        transmit({floodOf(seen.type, seen.seq, flood), from});
    else
        reply(answer(msg, seen), seen, from);
}

// Stores the objects of a set and tells every client what changed.
void cObjectServerSim::store(VMsg* msg) {
    std::unique_ptr<cObjectList> list(cObject::parseMsg(msg));
    cObjectList changed;
    while (cObject* obj = list->get()) {
        changed.add(obj->clone());
        add(obj);
    }
    if (changed.numObjects() > 0) sendEvent(&changed);
    changed.deleteObjects();
}

VMsg* cObjectServerSim::answer(VMsg* request, const cDatagram& seen) {
    const std::size_t maxReplies = seen.maxReplies;
    std::unique_ptr<cObjectList> asked(cObject::parseMsg(request));

    std::lock_guard<std::mutex> lock(mutex_);
    VMsg* msg = new VMsg(static_cast<unsigned char>(
        faults_.replyType >= 0 ? faults_.replyType : request->getType()));
    msg->setSeq(request->getSeq());
    msg->setLastSegment(true);
    std::vector<cObject*> found;
    for (cObject* q = asked->first(); q; q = asked->next()) {
        for (cObject* stored : store_) {
            if (matches(q, stored) && (maxReplies == 0 || found.size() < maxReplies) &&
                std::find(found.begin(), found.end(), stored) == found.end())
                found.push_back(stored);
        }
    }
    for (cObject* obj : found) addObjectTags(msg, obj, seen.indexesOnly);
    asked->deleteObjects();
    return msg;
}

// ---- replies, events and faults ----

cObjectServerSim::Datagrams cObjectServerSim::datagramsOf(VMsg* msg) const {
    Datagrams out;
    // Nothing at all when the message cannot be segmented: part of it
    // would be an answer that lies.
    if (msg->segmentMessage(kSegmentBytes) == 0) return out;
    msg->resetSegment();
    unsigned char buf[kSegmentBytes];
    while (VMsg* segment = msg->getNextSegment()) {
        const unsigned short n = segment->getMsg(buf, sizeof buf);
        if (n == 0) return Datagrams();
        out.emplace_back(buf, buf + n);
    }
    return out;
}

cObjectServerSim::Datagrams cObjectServerSim::floodOf(unsigned char type, unsigned char seq,
                                                      unsigned int segments) const {
    std::unique_ptr<VMsg> msg = smallObjects(type, kSegmentBytes);
    msg->setSeq(seq);
    Datagrams out;
    out.reserve(segments);
    const unsigned short total = static_cast<unsigned short>(segments + 1);
    for (unsigned int k = 0; k < segments; ++k) {
        msg->setSegment(static_cast<unsigned short>(k), total);
        out.push_back(encoded(*msg));
    }
    return out;
}

void cObjectServerSim::reply(VMsg* msg, const cDatagram& request, const sockaddr_in& to) {
    Datagrams made = datagramsOf(msg);
    delete msg;
    if (made.empty()) return;
    cFaults faults;
    std::vector<cOutgoing> now;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        faults = faults_;
        if (chance(faults.lossPercent)) return;
        faults.duplicate = faults.duplicate || chance(faults.duplicatePercent);
        faults.reorder = faults.reorder || chance(faults.reorderPercent);
        // Segments are left out by their place in the reply as made.
        const std::size_t n = made.size();
        const bool lose = faults.loseSegment >= 0 && n > 1 &&
                          static_cast<std::size_t>(faults.loseSegment) < n;
        if (lose && !faults.loseSegmentAlways) faults_.loseSegment = -1;
        cOutgoing out = {{}, to};
        for (std::size_t i = 0; i < n; ++i) {
            if (faults.stopBeforeLast && n > 1 && i == n - 1) continue;
            if (lose && i == static_cast<std::size_t>(faults.loseSegment)) continue;
            out.datagrams.push_back(std::move(made[i]));
        }
        if (faults.interleaveAnswers) out.datagrams = interleave(out.datagrams, request, to);
        if (faults.hold) {
            held_.push_back(out);
            return;
        }
        if (faults.reorder && reordered_.empty()) {
            reordered_.push_back(out);
            return;
        }
        now.push_back(out);
        for (cOutgoing& earlier : reordered_) now.push_back(earlier);
        reordered_.clear();
    }
    if (faults.delayMs) std::this_thread::sleep_for(std::chrono::milliseconds(faults.delayMs));
    for (const cOutgoing& o : now) {
        transmit(o);
        if (faults.duplicate) transmit(o);
    }
}

cObjectServerSim::Datagrams cObjectServerSim::interleave(const Datagrams& out,
                                                         const cDatagram& request,
                                                         const sockaddr_in& to) {
    auto it = std::find_if(lastAnswers_.begin(), lastAnswers_.end(), [&](const cLastAnswer& a) {
        return a.type == request.type && a.seq == request.seq && sameClient(a.to, to);
    });
    if (it == lastAnswers_.end()) {
        if (lastAnswers_.size() >= kMaxLastAnswers) lastAnswers_.erase(lastAnswers_.begin());
        lastAnswers_.push_back({to, request.type, request.seq, out});
        return out;
    }
    const Datagrams& previous = it->datagrams;
    Datagrams mixed;
    mixed.reserve(previous.size() + out.size());
    for (std::size_t i = 0; i < std::max(previous.size(), out.size()); ++i) {
        if (i < previous.size()) mixed.push_back(previous[i]);
        if (i < out.size()) mixed.push_back(out[i]);
    }
    it->datagrams = out;
    return mixed;
}

void cObjectServerSim::releaseHeld() {
    std::vector<cOutgoing> held;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        held.swap(held_);
    }
    for (const cOutgoing& o : held) transmit(o);
}

void cObjectServerSim::setFaults(const cFaults& faults) {
    std::lock_guard<std::mutex> lock(mutex_);
    faults_ = faults;
    if (!faults.interleaveAnswers) lastAnswers_.clear();
    random_.seed(faults.seed);
}

bool cObjectServerSim::chance(unsigned int percent) {
    if (percent == 0) return false;
    return std::uniform_int_distribution<unsigned int>(0, 99)(random_) < percent;
}

void cObjectServerSim::sendEvent(cObjectList* list) {
    if (!list) return;
    std::unique_ptr<VMsg> msg(list->toMsg());
    std::vector<sockaddr_in> clients;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        msg->setType(kEventType);
        msg->setSeq(eventSeq_++);
        clients = clients_;
    }
    const auto datagrams = datagramsOf(msg.get());
    for (const sockaddr_in& c : clients) transmit({datagrams, c});
}

void cObjectServerSim::floodEvents(unsigned int datagrams, std::size_t bytesEach) {
    std::unique_ptr<VMsg> msg =
        smallObjects(kEventType, std::min<std::size_t>(bytesEach, VMsg::kMaxDatagram));
    for (unsigned int i = 0; i < datagrams; ++i) {
        std::vector<sockaddr_in> clients;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            msg->setSeq(eventSeq_++);
            clients = clients_;
        }
        const std::vector<unsigned char> datagram = encoded(*msg);
        for (const sockaddr_in& c : clients) sendTo(datagram, c);
    }
}

void cObjectServerSim::sendRaw(const void* bytes, std::size_t len) {
    const unsigned char* p = static_cast<const unsigned char*>(bytes);
    std::vector<unsigned char> datagram(p, p + (p ? len : 0));
    std::vector<sockaddr_in> clients;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        clients = clients_;
    }
    for (const sockaddr_in& c : clients) sendTo(datagram, c);
}

int cObjectServerSim::clientCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(clients_.size());
}

void cObjectServerSim::transmit(const cOutgoing& out) {
    for (const auto& datagram : out.datagrams) sendTo(datagram, out.to);
}

void cObjectServerSim::sendTo(const std::vector<unsigned char>& bytes, const sockaddr_in& to) {
    const ssize_t n = sendto(fd_, bytes.data(), bytes.size(), 0,
                             reinterpret_cast<const sockaddr*>(&to), sizeof to);
    if (n < 0) return;
    std::lock_guard<std::mutex> lock(mutex_);
    ++sent_;
}

unsigned int cObjectServerSim::sentCount() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
}

// ---- what came in ----

std::vector<cObjectServerSim::cDatagram> cObjectServerSim::received() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

bool cObjectServerSim::waitFor(const std::function<bool(const std::vector<cDatagram>&)>& pred,
                               unsigned int timeoutMs) const {
    std::unique_lock<std::mutex> lock(mutex_);
    return cond_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                          [&] { return pred(received_); });
}
