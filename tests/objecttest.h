// Helpers for the object tests. An object is checked through the forms it
// travels in, so those are made comparable here: its tags and its JSON
// array as texts, hand-made tag groups and JSON text to feed it, whole lists
// carried through a datagram and through the JSON document, and the sample
// devices of the list tests.
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

using Strings = std::vector<std::string>;
using wiretest::floatBits;

// ---- tags ----

// One tag as the class tests state it: "15" (no value), "8 u32 7",
// "28 u8 1", "21 'Pump'", "49 f 1.5". Floats get 9 digits, enough to tell
// any two apart. Types no object sends are shown as the wire tests show them.
inline std::string tagText(const VTag* t) {
    const std::string n = std::to_string(t->getTag());
    char f[48];
    switch (t->getType()) {
    case VTAG_NONE: return n;
    case VTAG_STRING: return n + " '" + static_cast<const VTagString*>(t)->text() + "'";
    case VTAG_UINT32: return n + " u32 " + std::to_string(static_cast<const VTagUInt32*>(t)->getValue());
    case VTAG_UINT8: return n + " u8 " + std::to_string(static_cast<const VTagUInt8*>(t)->getValue());
    case VTAG_FLOAT:
        std::snprintf(f, sizeof f, " f %.9g",
                      static_cast<double>(static_cast<const VTagUInt32*>(t)->getFloatValue()));
        return n + f;
    default: return wiretest::describe(t);
    }
}

// The object's getTags in order, as tagText texts; the list and tags are freed.
inline Strings tagsOf(cObject& obj) {
    std::unique_ptr<cTagList> tags(obj.getTags());
    Strings out;
    while (VTag* t = tags->get()) {
        out.push_back(tagText(t));
        delete t;
    }
    return out;
}

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
        for (VTag* t : msgTags_) delete t;
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
    TagGroup& msgLevel(VTag* t) {
        msgTags_.push_back(t);
        return *this;
    }

    bool feed(cObject& obj) { return obj.parse(&group_, &msgTags_); }
    VelmorObject* group() { return &group_; }

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

// back holds objects of want's types in want's order, each with the same
// form (tagsOf or jsonOf) as its counterpart.
template <class Form>
void expectSameObjects(cObjectList& back, const std::vector<cObject*>& want, Form form) {
    const std::vector<cObject*> got = objectsOf(back);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        SCOPED_TRACE(cObject::getJSONName(want[i]->getType()));
        ASSERT_EQ(got[i]->getType(), want[i]->getType());
        EXPECT_EQ(form(*got[i]), form(*want[i]));
    }
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
