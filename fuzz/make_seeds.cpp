// Writes the fuzz seed corpora and the libFuzzer dictionary from real
// objects of every class:
//   <dir>/datagram/  one datagram per class, the segments of a mixed list,
//                    the two segments of a device larger than one, and a
//                    datagram with a text longer than any segment carries
//   <dir>/json/      one document per class, and one of the mixed list
//   <dir>/segments/  runs of reply segments for two waiting requests: in
//                    order, repeated, reordered, reversed, interleaved, cut
//                    short, of another shape, too large for the second
//   <dir>/receive/   datagrams for a client with two requests waiting:
//                    replies, segmented replies in and out of order,
//                    duplicates, events, garbage
//   <dir>/wqx.dict   every tag number in the dictionary, every JSON key and
//                    the header bytes of a whole message
//
// Every field of every class is set (see tools/everyfield.h).
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "device.h"
#include "everyfield.h"
#include "objectlist.h"

namespace {

bool writeFile(const std::string& path, const void* data, size_t n) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(data, 1, n, f) == n;
    return std::fclose(f) == 0 && ok;
}

typedef std::vector<unsigned char> Bytes;

// The datagrams the list travels as.
std::vector<Bytes> datagramsOf(cObjectList& list) {
    std::unique_ptr<VMsg> msg(list.toMsg());
    msg->segmentMessage(VMsg::kMaxSegment);
    msg->resetSegment();
    unsigned char buf[VMsg::kMaxSegment];
    std::vector<Bytes> out;
    while (VMsg* seg = msg->getNextSegment()) {
        const unsigned short n = seg->getMsg(buf, sizeof buf);
        out.emplace_back(buf, buf + n);
    }
    return out;
}

bool writeBytes(const std::string& path, const Bytes& bytes) {
    return writeFile(path, bytes.data(), bytes.size());
}

bool writeDatagrams(const std::string& stem, cObjectList& list) {
    int i = 0;
    bool ok = true;
    for (const Bytes& d : datagramsOf(list)) ok &= writeBytes(stem + "_" + std::to_string(i++) + ".bin", d);
    return ok;
}

// ---- segments: type:u8 seq:u8, then datagrams as they travel ----

bool writeSegments(const std::string& path, unsigned char type, unsigned char seq,
                   const std::vector<Bytes>& datagrams) {
    Bytes out = {type, seq};
    for (const Bytes& d : datagrams) out.insert(out.end(), d.begin(), d.end());
    return writeBytes(path, out);
}

// The mixed reply to (1, 9) in every order a lossy link delivers it, a
// short reply to the second request (1, 8), a reply of another type, a
// segment claiming another total, and the mixed reply sent to the second
// request, which may not hold that much.
bool writeSegmentSeeds(const std::string& dir, cObjectList& mixed, cObjectList& one) {
    mixed.setMsgType(1);
    mixed.setMsgSeq(9);
    one.setMsgType(1);
    one.setMsgSeq(8);
    const std::vector<Bytes> reply = datagramsOf(mixed), other = datagramsOf(one);
    std::vector<Bytes> repeated, reordered, interleaved, cut(reply.begin(), reply.end() - 1);
    for (const Bytes& d : reply) {
        repeated.push_back(d);
        repeated.push_back(d);
        interleaved.push_back(d);
        if (interleaved.size() == 2) interleaved.insert(interleaved.end(), other.begin(), other.end());
    }
    reordered.push_back(reply.back());
    reordered.insert(reordered.end(), reply.begin(), reply.end() - 1);
    const std::vector<Bytes> reversed(reply.rbegin(), reply.rend());
    // The second segment again, claiming one segment more than there are
    // (total is header bytes 7 and 8), then the rest.
    std::vector<Bytes> otherTotal(reply.begin(), reply.begin() + 2);
    otherTotal.push_back(reply[1]);
    otherTotal.back()[8] = static_cast<unsigned char>(otherTotal.back()[8] + 1);
    otherTotal.insert(otherTotal.end(), reply.begin() + 2, reply.end());
    one.setMsgType(0);
    const std::vector<Bytes> wrongType = datagramsOf(one);
    mixed.setMsgSeq(8);
    const std::vector<Bytes> tooLarge = datagramsOf(mixed);
    mixed.setMsgSeq(9);
    const std::string d = dir + "/segments/";
    return writeSegments(d + "in_order.bin", 1, 9, reply) &&
           writeSegments(d + "repeated.bin", 1, 9, repeated) &&
           writeSegments(d + "last_first.bin", 1, 9, reordered) &&
           writeSegments(d + "reversed.bin", 1, 9, reversed) &&
           writeSegments(d + "interleaved.bin", 1, 9, interleaved) &&
           writeSegments(d + "cut_short.bin", 1, 9, cut) &&
           writeSegments(d + "other_total.bin", 1, 9, otherTotal) &&
           writeSegments(d + "other_type.bin", 1, 8, wrongType) &&
           writeSegments(d + "too_large.bin", 1, 9, tooLarge);
}

// ---- receive: flags:u8 length:u16 datagram, repeated ----

const unsigned char kFirstRequest = 1, kSecondRequest = 2, kRequestType = 4;

void addDatagram(Bytes& out, unsigned char flags, const Bytes& d) {
    out.push_back(flags);
    out.push_back(static_cast<unsigned char>(d.size() >> 8));
    out.push_back(static_cast<unsigned char>(d.size()));
    out.insert(out.end(), d.begin(), d.end());
}

Bytes receiveInput(const std::vector<std::pair<unsigned char, Bytes>>& datagrams) {
    Bytes out;
    for (const auto& d : datagrams) addDatagram(out, d.first, d.second);
    return out;
}

bool writeReceiveSeeds(const std::string& dir, cObjectList& mixed, cObjectList& one) {
    const unsigned char toFirst = kFirstRequest | kRequestType;
    const unsigned char toSecond = kSecondRequest | kRequestType;
    const Bytes reply = datagramsOf(one).front();
    const std::vector<Bytes> parts = datagramsOf(mixed);
    one.setMsgType(2);
    const Bytes event = datagramsOf(one).front();
    // A message of tags without objects, as the server answers a ping.
    VMsg ping(1);
    ping.addTag(VTagFactory::createVTag(8, 0xFFFFFFFFu));
    Bytes pingAnswer(64);
    pingAnswer.resize(ping.getMsg(pingAnswer.data(), static_cast<unsigned short>(pingAnswer.size())));
    // A cut datagram: 14 message bytes declared, 12 there, 65535 tags.
    const Bytes garbage = {0x00, 0x0E, 0x02, 0x01, 0x00, 0x00, 0x00, 0x00, 0x01, 0xFF, 0xFF, 0x08, 0x02, 0x00};
    std::vector<std::pair<unsigned char, Bytes>> segmented, reversed;
    for (const Bytes& p : parts) segmented.emplace_back(toFirst, p);
    reversed.assign(segmented.rbegin(), segmented.rend());
    std::vector<std::pair<unsigned char, Bytes>> partOnly(segmented.begin(), segmented.begin() + 2);
    const std::string d = dir + "/receive/";
    return writeBytes(d + "replies.bin", receiveInput({{toFirst, reply}, {toSecond, reply}})) &&
           writeBytes(d + "duplicates.bin",
                      receiveInput({{toFirst, reply}, {toFirst, reply}, {toSecond, reply}})) &&
           writeBytes(d + "segmented.bin", receiveInput(segmented)) &&
           writeBytes(d + "segmented_reversed.bin", receiveInput(reversed)) &&
           writeBytes(d + "part_then_echo.bin", receiveInput(partOnly)) &&
           writeBytes(d + "event.bin", receiveInput({{0, event}})) &&
           writeBytes(d + "ping_answer.bin", receiveInput({{toFirst, pingAnswer}})) &&
           writeBytes(d + "empty_and_garbage.bin", receiveInput({{0, {}}, {toFirst, garbage}}));
}

// A device whose label makes it larger than one segment: its two
// segments. And one whose label no segment carries, in one datagram as
// large as a reader takes.
bool writeLargeDevices(const std::string& dir) {
    cObjectList list;
    list.setMsgType(1);
    list.setMsgSeq(3);
    cObjectDevice* d = new cObjectDevice;
    d->setDeviceSerial(7);
    d->setDeviceLabel(std::string(1000, 'L').c_str());
    list.add(d);
    bool ok = writeDatagrams(dir + "/datagram/large_device", list);
    d->setDeviceLabel(std::string(1500, 'L').c_str());
    std::unique_ptr<VMsg> msg(list.toMsg());
    Bytes one(VMsg::kMaxDatagram);
    one.resize(msg->getMsg(one.data(), VMsg::kMaxDatagram));
    ok &= !one.empty() && writeBytes(dir + "/datagram/long_text.bin", one);
    list.deleteObjects();
    return ok;
}

bool writeJSON(const std::string& path, cObjectList& list) {
    char* text = cObject::getJSON(&list);
    const bool ok = writeFile(path, text, std::string(text).size());
    cObject::deleteJSON(text);
    return ok;
}

// JSON keys as they appear in a document ("TAG_DEV_ID", "objectType", ...).
void collectKeys(const std::string& json, std::set<std::string>& keys) {
    for (size_t p = json.find('"'); p != std::string::npos; p = json.find('"', p + 1)) {
        const size_t q = json.find('"', p + 1);
        if (q == std::string::npos) break;
        const std::string word = json.substr(p + 1, q - p - 1);
        if (word.rfind("TAG_", 0) == 0 || word.rfind("OBJ_", 0) == 0 || word.rfind("object", 0) == 0)
            keys.insert(word);
        p = q;
    }
}

bool writeDictionary(const std::string& path, cObjectList& mixed) {
    std::string dict;
    char line[64];
    const VelmorDictDef* d = WQX::DictDef;
    for (unsigned i = 0; i < d->getNumDefs(); ++i) {
        std::snprintf(line, sizeof line, "tag_%u=\"\\x%02X\\x%02X\"\n", d->getDefs()[i].tag,
                      d->getDefs()[i].tag, d->getDefs()[i].type);
        dict += line;
    }
    char* text = cObject::getJSON(&mixed);
    std::set<std::string> keys;
    collectKeys(text, keys);
    cObject::deleteJSON(text);
    for (const std::string& k : keys) dict += "key_" + k + "=\"\\\"" + k + "\\\"\"\n";
    // Header bytes: the format's version before a get's type, and the place
    // of a whole message (segment 0 of 1).
    std::snprintf(line, sizeof line, "hdr_version_get=\"\\x%02X\\x01\"\n", VMsg::kWireVersion);
    dict += line;
    dict += "hdr_whole=\"\\x00\\x00\\x00\\x01\"\n";
    return writeFile(path, dict.data(), dict.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR (with OUTDIR/datagram, json, segments and receive present)\n",
                     argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    cObjectList mixed;
    mixed.setMsgType(1);
    mixed.setMsgSeq(9);
    bool ok = true;
    for (int t = 0; t < cObject::OBJ_NONE; ++t) {
        const auto type = static_cast<cObject::eObjectTypes>(t);
        cObject* obj = everyfield::makeFull(type);
        if (!obj) continue;
        std::unique_ptr<cObjectList> one(new cObjectList);
        one->add(obj);
        one->setMsgType(1);
        one->setMsgSeq(static_cast<unsigned char>(t));
        const std::string name = cObject::getJSONName(type);
        ok &= writeDatagrams(dir + "/datagram/" + name, *one);
        ok &= writeJSON(dir + "/json/" + name + ".json", *one);
        while (cObject* o = one->get()) mixed.add(o);
    }
    // Several copies make the mixed list long enough to need segments.
    const int n = mixed.numObjects();
    for (int copy = 0; copy < 3; ++copy) {
        cObject* o = mixed.first();
        for (int i = 0; i < n; ++i, o = mixed.next()) mixed.add(o->clone());
    }
    ok &= writeDatagrams(dir + "/datagram/mixed", mixed);
    ok &= writeLargeDevices(dir);
    ok &= writeJSON(dir + "/json/mixed.json", mixed);
    ok &= writeDictionary(dir + "/wqx.dict", mixed);
    cObjectList one;
    one.add(everyfield::makeFull(cObject::OBJ_DEVICE));
    ok &= writeSegmentSeeds(dir, mixed, one);
    one.setMsgType(1);
    ok &= writeReceiveSeeds(dir, mixed, one);
    one.deleteObjects();
    mixed.deleteObjects();
    return ok ? 0 : 1;
}
