// Test helpers for the forms an object travels in: its tags written as short
// texts, its JSON array as jansson dumps it, and whole lists sent through a
// datagram or a JSON document and read back.
#ifndef WQX_TEST_OBJECTFORMS_H
#define WQX_TEST_OBJECTFORMS_H

#include <jansson.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "object.h"
#include "objectlist.h"
#include "taglist.h"
#include "velmor.h"

namespace formtest {

// A borrowed text for comparison: its contents, or "(null)".
inline std::string textOf(const char* s) { return s ? s : "(null)"; }

// One tag as "N" (no value), "N:s=text", "N:u32=V", "N:u8=V" or "N:f=V".
inline std::string tagText(VTag* t) {
    std::string out = std::to_string(t->getTag());
    char buf[64];
    switch (t->getType()) {
    case VTAG_NONE: return out;
    case VTAG_STRING: return out + ":s=" + static_cast<VTagString*>(t)->text();
    case VTAG_UINT32: return out + ":u32=" + std::to_string(static_cast<VTagUInt32*>(t)->getValue());
    case VTAG_UINT8: return out + ":u8=" + std::to_string(static_cast<VTagUInt8*>(t)->getValue());
    case VTAG_FLOAT:
        std::snprintf(buf, sizeof buf, ":f=%g",
                      static_cast<double>(static_cast<VTagUInt32*>(t)->getFloatValue()));
        return out + buf;
    default: return out + ":type" + std::to_string(t->getType());
    }
}

// The object's getTags, in order, as tagText texts.
inline std::vector<std::string> tagTexts(cObject& obj) {
    std::vector<std::string> out;
    std::unique_ptr<cTagList> tags(obj.getTags());
    while (VTag* t = tags->get()) {
        out.push_back(tagText(t));
        delete t;
    }
    return out;
}

// The object's getJSONObj as json_dumps writes it with flags 0.
inline std::string jsonText(cObject& obj) {
    json_t* array = obj.getJSONObj();
    char* text = json_dumps(array, 0);
    std::string out = text ? text : "";
    std::free(text);
    json_decref(array);
    return out;
}

// Loads text and hands the value to the object's JSON parse.
inline bool parseJsonText(cObject& obj, const char* text) {
    json_error_t error;
    json_t* value = json_loads(text, JSON_DECODE_ANY, &error);
    const bool ok = obj.parse(value);
    json_decref(value);
    return ok;
}

// A tag group and message-level tags for the message parse; owns its tags.
class TagGroup {
public:
    explicit TagGroup(unsigned char code) : group_(code) {}
    ~TagGroup() {
        for (VTag* t : group_.getTags()) delete t;
        for (VTag* t : msgTags_) delete t;
    }
    TagGroup(const TagGroup&) = delete;
    TagGroup& operator=(const TagGroup&) = delete;

    TagGroup& add(VTag* t) {
        group_.getTags().push_back(t);
        return *this;
    }
    TagGroup& addMsgLevel(VTag* t) {
        msgTags_.push_back(t);
        return *this;
    }
    bool parseInto(cObject& obj) { return obj.parse(&group_, &msgTags_); }

private:
    VelmorObject group_;
    std::vector<VTag*> msgTags_;
};

// Owns a list and the objects in it.
struct ListHolder {
    explicit ListHolder(cObjectList* l) : list(l) {}
    ~ListHolder() {
        list->deleteObjects();
        delete list;
    }
    ListHolder(const ListHolder&) = delete;
    ListHolder& operator=(const ListHolder&) = delete;
    cObject* at(int i) {
        cObject* o = list->first();
        while (i-- > 0) o = list->next();
        return o;
    }
    cObjectList* list;
};

// The list through toMsg, one encoded datagram, VMsg::parseMsg and
// cObject::parseMsg. The caller owns the result.
inline cObjectList* throughDatagram(cObjectList& list) {
    std::unique_ptr<VMsg> msg(list.toMsg());
    unsigned char buf[VMsg::kMaxDatagram];
    const unsigned short len = msg->getMsg(buf, sizeof buf);
    if (len == 0) return new cObjectList;
    std::unique_ptr<VMsg> received(VMsg::parseMsg(buf, len));
    return received ? cObject::parseMsg(received.get()) : new cObjectList;
}

// The list through cObject::getJSON and cObject::parseJSON.
inline cObjectList* throughDocument(cObjectList& list, std::string* document = nullptr) {
    char* text = cObject::getJSON(&list);
    if (document) *document = text ? text : "";
    cObjectList* back = cObject::parseJSON(text);
    cObject::deleteJSON(text);
    return back;
}

}  // namespace formtest

#endif
