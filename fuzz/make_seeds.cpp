// Writes the fuzz seed corpora and the libFuzzer dictionary from real
// objects of every class:
//   <dir>/datagram/  one datagram per class, and the segments of a mixed list
//   <dir>/json/      one document per class, and one of the mixed list
//   <dir>/wqx.dict   every tag number in the dictionary and every JSON key
//
// Every field of every class is set (see tests/everyfield.h).
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

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

bool writeDatagrams(const std::string& stem, cObjectList& list) {
    std::unique_ptr<VMsg> msg(list.toMsg());
    msg->segmentMessage(1024);
    msg->resetSegment();
    unsigned char buf[1024];
    int i = 0;
    bool ok = true;
    while (VMsg* seg = msg->getNextSegment()) {
        const unsigned short n = seg->getMsg(buf, sizeof buf);
        ok &= writeFile(stem + "_" + std::to_string(i++) + ".bin", buf, n);
    }
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
    return writeFile(path, dict.data(), dict.size());
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTDIR (with OUTDIR/datagram and OUTDIR/json present)\n", argv[0]);
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
    ok &= writeJSON(dir + "/json/mixed.json", mixed);
    ok &= writeDictionary(dir + "/wqx.dict", mixed);
    mixed.deleteObjects();
    return ok ? 0 : 1;
}
