// Helpers for the object tests: an object's JSON array as text, hand-made
// tag groups and JSON text to feed it, whole lists carried through a
// datagram and through the JSON document, and the sample devices of the
// list tests.
#ifndef WQX_TEST_OBJECTTEST_H
#define WQX_TEST_OBJECTTEST_H

#include <gtest/gtest.h>
#include <jansson.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "device.h"
#include "object.h"
#include "objectlist.h"
#include "taglist.h"
#include "wiretest.h"

namespace objecttest {

// ---- tags ----

// A tag as a peer's message carries it: the value converted to the type the
// dictionary gives the number, as cTagList converts it when sending.
template <class V>
VTag* wireTag(int n, V value) {
    cTagList l;
    l.add(n, value);
    return l.get();
}

// One object's tag group and the message-level tags, handed to parse as
// cObject::parseMsg hands them. It owns its tags, as a parsed message does.
class TagGroup {
public:
    TagGroup() : group_(0) {}
    ~TagGroup() {
        for (VTag* t : group_.getTags()) delete t;
    }
    TagGroup(const TagGroup&) = delete;
    TagGroup& operator=(const TagGroup&) = delete;

    // A tag exactly as made, of whatever type (a peer may send any).
    TagGroup& add(VTag* t) {
        group_.getTags().push_back(t);
        return *this;
    }
    // A value-less tag, or one of the dictionary's type.
    TagGroup& add(int n) { return add(VTagFactory::createVTag(static_cast<unsigned char>(n))); }
    template <class V>
    TagGroup& add(int n, V value) {
        return add(wireTag(n, value));
    }

    bool feed(cObject& obj) { return obj.parse(&group_, &msgTags_); }

private:
    VelmorObject group_;
    std::vector<VTag*> msgTags_;
};

// ---- JSON ----

// json_dumps with flags 0, the layout the document uses; releases value.
inline std::string dumpJson(json_t* value) {
    char* text = json_dumps(value, 0);
    std::string out = text ? text : "(null)";
    std::free(text);
    json_decref(value);
    return out;
}

inline std::string jsonOf(cObject& obj) { return dumpJson(obj.getJSONObj()); }

// Loads text (any JSON value) and hands it to obj.parse(json_t*).
inline bool parseJson(cObject& obj, const std::string& text) {
    json_error_t err;
    json_t* value = json_loads(text.c_str(), JSON_DECODE_ANY, &err);
    EXPECT_NE(value, nullptr) << "test text is not JSON: " << text;
    const bool ok = obj.parse(value);
    json_decref(value);
    return ok;
}

// ---- lists and the two ways they travel ----

// A list that deletes its objects with it.
struct ListDeleter {
    void operator()(cObjectList* l) const {
        l->deleteObjects();
        delete l;
    }
};
using ListPtr = std::unique_ptr<cObjectList, ListDeleter>;

// The list's entries in order, null ones included.
inline std::vector<cObject*> objectsOf(cObjectList& list) {
    std::vector<cObject*> out;
    cObject* o = list.first();
    for (int i = 0; i < list.numObjects(); ++i, o = list.next()) out.push_back(o);
    return out;
}

// list -> toMsg -> one datagram -> VMsg::parseMsg -> cObject::parseMsg.
inline ListPtr throughDatagram(cObjectList& list) {
    std::unique_ptr<VMsg> msg(list.toMsg());
    const wiretest::Bytes datagram = wiretest::datagramOf(*msg);
    EXPECT_FALSE(datagram.empty()) << "getMsg refused the message";
    std::unique_ptr<VMsg> back(wiretest::parseBytes(datagram));
    EXPECT_TRUE(back) << "the datagram does not decode";
    return ListPtr(back ? cObject::parseMsg(back.get()) : new cObjectList);
}

// list -> cObject::getJSON -> cObject::parseJSON.
inline ListPtr throughDocument(cObjectList& list) {
    char* text = cObject::getJSON(&list);
    ListPtr back(cObject::parseJSON(text));
    cObject::deleteJSON(text);
    return back;
}

using Trip = ListPtr (*)(cObjectList&);
inline const Trip kTrips[] = {throughDatagram, throughDocument};
inline const char* tripName(Trip trip) { return trip == throughDatagram ? "datagram" : "document"; }

// One object alone in a list through trip; the object read back. Should
// none come back, a default one of its type stands in, so that the caller's
// checks fail rather than crash.
inline std::unique_ptr<cObject> carry(cObject& obj, Trip trip) {
    cObjectList list;
    list.add(&obj);
    ListPtr back = trip(list);
    EXPECT_EQ(back->numObjects(), 1);
    cObject* first = back->get();
    return std::unique_ptr<cObject>(first ? first : cObject::create(obj.getType()));
}

// getJSON's text of a list.
inline std::string documentOf(cObjectList* list) {
    char* text = cObject::getJSON(list);
    std::string out = text ? text : "(null)";
    cObject::deleteJSON(text);
    return out;
}

// ---- sample devices for the list tests ----

inline cObjectDevice* makeDevice(unsigned int serial) {
    cObjectDevice* d = new cObjectDevice;
    d->setDeviceSerial(serial);
    return d;
}

// The list's entries: a device's serial ("-" while not set), "t<type>" for
// an object of another class, "null" for a null entry.
inline std::string serialsOf(cObjectList& list) {
    std::string s;
    for (cObject* o : objectsOf(list)) {
        const cObjectDevice* d = dynamic_cast<const cObjectDevice*>(o);
        s += s.empty() ? "" : ",";
        if (!o) s += "null";
        else if (!d) s += "t" + std::to_string(o->getType());
        else if (d->getDeviceSerial() == 0xFFFFFFFFu) s += "-";
        else s += std::to_string(d->getDeviceSerial());
    }
    return s;
}

}  // namespace objecttest

#endif
