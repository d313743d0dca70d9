// Test helpers that look at an object from outside: its tags as short
// texts, its JSON as text, feeding it hand-made tag groups, and carrying it
// through a whole datagram or JSON document.
#ifndef WQX_TEST_OBJECTPROBE_H
#define WQX_TEST_OBJECTPROBE_H

#include <gtest/gtest.h>
#include <jansson.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "object.h"
#include "objectlist.h"
#include "taglist.h"

namespace probe {

// One tag as text: "15" (no value), "8 u32 7", "28 u8 1", "21 'Pump'",
// "49 f 1.5" (floats with 9 digits, enough to tell any two apart).
inline std::string describe(VTag* t) {
    char buf[512];
    const int n = t->getTag();
    switch (t->getType()) {
    case VTAG_NONE: std::snprintf(buf, sizeof buf, "%d", n); break;
    case VTAG_STRING: {
        char text[400];
        cTagList::getString(t, text, sizeof text);
        std::snprintf(buf, sizeof buf, "%d '%s'", n, text);
        break;
    }
    case VTAG_UINT32: std::snprintf(buf, sizeof buf, "%d u32 %u", n, cTagList::getUInt32(t)); break;
    case VTAG_UINT8: std::snprintf(buf, sizeof buf, "%d u8 %u", n, unsigned(cTagList::getUInt8(t))); break;
    case VTAG_FLOAT:
        std::snprintf(buf, sizeof buf, "%d f %.9g", n, static_cast<double>(cTagList::getFloat(t)));
        break;
    default: std::snprintf(buf, sizeof buf, "%d type %u", n, t->getType()); break;
    }
    return buf;
}

// The object's tags, in emission order.
inline std::vector<std::string> tagsOf(cObject& obj) {
    std::unique_ptr<cTagList> list(obj.getTags());
    std::vector<std::string> out;
    while (VTag* t = list->get()) {
        out.push_back(describe(t));
        delete t;
    }
    return out;
}

// json_dumps with flags 0, releasing the value.
inline std::string dump(json_t* value) {
    char* text = json_dumps(value, 0);
    std::string out = text ? text : "<null>";
    std::free(text);
    json_decref(value);
    return out;
}

inline std::string jsonOf(cObject& obj) { return dump(obj.getJSONObj()); }

// Parses JSON text into obj with parse(json_t*).
inline bool parseJson(cObject& obj, const char* text) {
    json_error_t err;
    json_t* value = json_loads(text, JSON_DECODE_ANY, &err);
    EXPECT_NE(value, nullptr) << text;
    const bool ok = obj.parse(value);
    json_decref(value);
    return ok;
}

// A hand-made tag group; it owns its tags, as a parsed message would.
class Group {
public:
    Group() : group_(0) {}
    ~Group() {
        for (VTag* t : group_.getTags()) delete t;
    }
    Group(const Group&) = delete;
    Group& operator=(const Group&) = delete;

    Group& none(int n) { return add(VTagFactory::createVTag(uc(n))); }
    Group& u8(int n, unsigned v) { return add(VTagFactory::createVTag(uc(n), uc(v))); }
    Group& u32(int n, unsigned v) { return add(VTagFactory::createVTag(uc(n), v)); }
    Group& text(int n, const char* s) { return add(VTagFactory::createVTag(uc(n), s)); }
    Group& f(int n, float v) { return add(VTagFactory::createVTag(uc(n), v, false)); }

    bool feed(cObject& obj) {
        std::vector<VTag*> none;
        return obj.parse(&group_, &none);
    }

private:
    static unsigned char uc(unsigned v) { return static_cast<unsigned char>(v); }
    Group& add(VTag* t) {
        group_.getTags().push_back(t);
        return *this;
    }
    VelmorObject group_;
};

// Carries the objects (the list keeps them) through one datagram and the
// message reader; returns the objects read back.
inline std::unique_ptr<cObjectList> viaDatagram(cObjectList& list) {
    list.setMsgType(0);
    list.setMsgSeq(9);
    std::unique_ptr<VMsg> msg(list.toMsg());
    unsigned char buf[1024];
    const unsigned short n = msg->getMsg(buf, sizeof buf);
    EXPECT_GT(n, 0);
    std::unique_ptr<VMsg> back(VMsg::parseMsg(buf, n));
    EXPECT_NE(back, nullptr);
    return std::unique_ptr<cObjectList>(cObject::parseMsg(back.get()));
}

// Carries the objects through a JSON document; returns the objects read back.
inline std::unique_ptr<cObjectList> viaDocument(cObjectList& list) {
    char* text = cObject::getJSON(&list);
    std::unique_ptr<cObjectList> back(cObject::parseJSON(text));
    cObject::deleteJSON(text);
    return back;
}

// One object through a datagram or a document, alone in its list.
template <class Via>
std::unique_ptr<cObject> carry(cObject& obj, Via via) {
    cObjectList list;
    list.add(&obj);
    std::unique_ptr<cObjectList> back = via(list);
    EXPECT_EQ(back->numObjects(), 1);
    std::unique_ptr<cObject> first(back->get());
    back->deleteObjects();
    return first;
}

inline unsigned bitsOf(float f) {
    unsigned u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

}  // namespace probe

#endif
