// Names of the wire: every dictionary tag number with the JSON key the object
// classes give it, and every wire object code with its class name. The
// dictionary holds only numbers and value types; the names live in the
// classes' JSON writers, so they are found by asking the classes: an object
// is read from a message holding its object code and one tag, and the JSON
// key whose value differs from the same object read without the tag is the
// tag's name. Nothing here is typed in by hand, so the dissector and the
// docs follow the library when it changes.
#ifndef WQX_TOOLS_TAGNAMES_H
#define WQX_TOOLS_TAGNAMES_H

#include <jansson.h>

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "object.h"
#include "objectlist.h"
#include "taglist.h"

namespace tagnames {

struct TagName {
    unsigned number;
    unsigned vtype;
    bool objectCode;
    // Class JSON name -> the key that class gives the tag (absent when the
    // class does not read the number).
    std::map<std::string, std::string> byClass;
    // The one name when every class agrees, else empty.
    std::string common() const {
        std::set<std::string> names;
        for (const auto& c : byClass) names.insert(c.second);
        return names.size() == 1 ? *names.begin() : std::string();
    }
};

// Key -> compact JSON of the value, for the one object of type read from
// msg. The object reads the message's first group the way cObject::parseMsg
// reads each group; done here directly because parseMsg makes no message
// info object (a reply never carries one), whose tags are named too.
inline std::map<std::string, std::string> fieldsOf(cObject::eObjectTypes type, VMsg* msg) {
    std::map<std::string, std::string> out;
    std::unique_ptr<VelmorMessage> groups(VelmorMessage::parseVMsg(WQX::DictDef, msg));
    if (!groups || groups->getObjects().empty()) return out;
    cObjectList list;
    std::unique_ptr<cObject> obj(cObject::create(type));
    obj->parse(&groups->getObjects().front(), &groups->getMsgTags());
    list.add(obj.get());
    char* text = cObject::getJSON(&list);
    json_t* doc = json_loads(text ? text : "[]", 0, nullptr);
    cObject::deleteJSON(text);
    json_t* values = json_object_get(json_array_get(json_array_get(doc, 0), 1), "objectValues");
    size_t i;
    json_t* element;
    json_array_foreach(values, i, element) {
        const char* key;
        json_t* value;
        json_object_foreach(element, key, value) {
            char* v = json_dumps(value, JSON_ENCODE_ANY | JSON_COMPACT);
            out[key] = v ? v : "";
            free(v);
        }
    }
    json_decref(doc);
    return out;
}

inline VMsg* messageOf(cObject::eObjectTypes type, const VTag* extra) {
    VMsg* msg = new VMsg(0);
    msg->addTag(VTagFactory::createVTag(cObject::getWireCode(type)));
    if (extra) msg->addTag(extra->clone());
    return msg;
}

// A few values of the dictionary's type: an enumeration ignores codes it
// does not know, so several are tried until one shows.
inline std::vector<std::unique_ptr<VTag>> sampleTags(unsigned char number, unsigned vtype) {
    std::vector<std::unique_ptr<VTag>> out;
    switch (vtype) {
    case VTAG_STRING: out.emplace_back(VTagFactory::createVTag(number, "x")); break;
    case VTAG_FLOAT: out.emplace_back(VTagFactory::createVTag(number, 1.5f, true)); break;
    case VTAG_NONE: out.emplace_back(VTagFactory::createVTag(number)); break;
    case VTAG_UINT8:
        for (unsigned char v : {1, 2, 0, 3, 7})
            out.emplace_back(VTagFactory::createVTag(number, static_cast<unsigned char>(v)));
        break;
    case VTAG_UINT16:
        for (unsigned short v : {7, 1, 2, 0})
            out.emplace_back(VTagFactory::createVTag(number, static_cast<unsigned short>(v)));
        break;
    default:
        for (unsigned v : {7u, 1u, 2u, 0u, 3u}) out.emplace_back(VTagFactory::createVTag(number, v));
        break;
    }
    return out;
}

// The keys of type's JSON that change when the message also holds tag.
inline std::set<std::string> changedKeys(cObject::eObjectTypes type, const VTag* tag) {
    std::unique_ptr<VMsg> bare(messageOf(type, nullptr));
    std::unique_ptr<VMsg> with(messageOf(type, tag));
    const auto before = fieldsOf(type, bare.get());
    const auto after = fieldsOf(type, with.get());
    std::set<std::string> changed;
    for (const auto& kv : after) {
        auto it = before.find(kv.first);
        if (it == before.end() || it->second != kv.second) changed.insert(kv.first);
    }
    for (const auto& kv : before)
        if (!after.count(kv.first)) changed.insert(kv.first);
    return changed;
}

// Every class that reads number, with the key it shows it under. A number
// that moves several keys (a state some class derives a status from) is
// named by the key it moves for every value tried, the one it owns.
inline std::map<std::string, std::string> namesFor(unsigned char number, unsigned vtype) {
    std::map<std::string, std::string> out;
    for (int t = 0; t < cObject::OBJ_NONE; ++t) {
        const auto type = static_cast<cObject::eObjectTypes>(t);
        std::set<std::string> always;
        bool any = false;
        for (const auto& tag : sampleTags(number, vtype)) {
            const auto changed = changedKeys(type, tag.get());
            if (changed.empty()) continue;
            if (!any) {
                always = changed;
                any = true;
            } else {
                std::set<std::string> both;
                for (const auto& k : changed)
                    if (always.count(k)) both.insert(k);
                always = both;
            }
        }
        if (always.size() == 1) out[cObject::getJSONName(type)] = *always.begin();
    }
    return out;
}

// The tags that make up type's identity, the fields its compIndex compares
// (what an index reply carries): two objects read from the same tag with
// two different values that compIndex tells apart. A tag the class does
// not compare leaves both objects equal.
inline std::vector<TagName> identityOf(cObject::eObjectTypes type, const std::vector<TagName>& tags) {
    std::vector<TagName> out;
    for (const TagName& t : tags) {
        if (t.objectCode || !t.byClass.count(cObject::getJSONName(type))) continue;
        const auto samples = sampleTags(static_cast<unsigned char>(t.number), t.vtype);
        if (samples.size() < 2) continue;
        std::unique_ptr<VMsg> a(messageOf(type, samples[0].get()));
        std::unique_ptr<VMsg> b(messageOf(type, samples[1].get()));
        std::unique_ptr<VelmorMessage> ga(VelmorMessage::parseVMsg(WQX::DictDef, a.get()));
        std::unique_ptr<VelmorMessage> gb(VelmorMessage::parseVMsg(WQX::DictDef, b.get()));
        std::unique_ptr<cObject> oa(cObject::create(type)), ob(cObject::create(type));
        oa->parse(&ga->getObjects().front(), &ga->getMsgTags());
        ob->parse(&gb->getObjects().front(), &gb->getMsgTags());
        if (!oa->compIndex(ob.get())) out.push_back(t);
    }
    return out;
}

// Wire object code -> class JSON name.
inline std::map<unsigned, std::string> objectCodes() {
    std::map<unsigned, std::string> out;
    for (int t = 0; t < cObject::OBJ_NONE; ++t) {
        const auto type = static_cast<cObject::eObjectTypes>(t);
        out[cObject::getWireCode(type)] = cObject::getJSONName(type);
    }
    return out;
}

// Every number of the dictionary, in number order, first entry winning as
// in the dictionary's own lookup.
inline std::vector<TagName> allTags() {
    std::map<unsigned, TagName> byNumber;
    const VelmorDictDef* dict = WQX::DictDef;
    for (unsigned i = 0; i < dict->getNumDefs(); ++i) {
        const VelmorDictEntry& e = dict->getDefs()[i];
        if (byNumber.count(e.tag)) continue;
        TagName n{e.tag, e.type, e.objectCode, {}};
        if (!e.objectCode) n.byClass = namesFor(e.tag, e.type);
        byNumber[e.tag] = n;
    }
    std::vector<TagName> out;
    for (auto& kv : byNumber) out.push_back(kv.second);
    return out;
}

// The name the dissector shows for number inside an object of class cls
// (empty for the message-level tags): the one name, the object's class for a
// wire object code, the class's own name, or every name joined by "/".
inline std::string displayName(const std::vector<TagName>& tags, unsigned number, const std::string& cls) {
    for (const TagName& t : tags) {
        if (t.number != number) continue;
        if (!t.common().empty()) return t.common();
        if (t.objectCode) {
            const auto codes = objectCodes();
            auto it = codes.find(number);
            if (it != codes.end()) return it->second;
        }
        auto own = t.byClass.find(cls);
        if (own != t.byClass.end()) return own->second;
        std::set<std::string> all;
        for (const auto& c : t.byClass) all.insert(c.second);
        std::string joined;
        for (const auto& n : all) joined += (joined.empty() ? "" : "/") + n;
        return joined.empty() ? "tag " + std::to_string(number) : joined;
    }
    return "unknown tag";
}

}  // namespace tagnames

#endif
