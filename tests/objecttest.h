// Helpers for the object class tests. An object is checked through the
// forms it travels in, so those are made comparable here: its tags and its
// JSON array as texts, hand-made tag groups and JSON text to feed it, and
// whole lists carried through a datagram and through the JSON document.
// Below those, the checks every class shares (unknown tags, identity,
// clones, a JSON value of the wrong type) and the sample devices of the list
// tests.
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
#include "logcapture.h"
#include "object.h"
#include "objectlist.h"
#include "taglist.h"
#include "wiretest.h"

namespace objecttest {

using Strings = std::vector<std::string>;
using wiretest::floatBits;

// A borrowed text for comparison: its contents, or "(null)".
inline std::string textOf(const char* s) { return s ? s : "(null)"; }

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

// parseJson gives ok and, where a warning is named, logs it on "cObject".
inline void expectJsonParse(cObject& obj, const std::string& text, bool ok, const char* warning) {
    LogCapture log;
    EXPECT_EQ(parseJson(obj, text), ok) << text;
    if (warning) {
        EXPECT_TRUE(log.has("cObject", log4cpp::Priority::WARN, warning)) << text;
    }
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

// Every object of list comes back from a datagram and from the JSON
// document with the same type and the same JSON form, in the same order.
inline void expectRoundTrips(cObjectList& list) {
    for (Trip trip : kTrips) {
        SCOPED_TRACE(tripName(trip));
        ListPtr back = trip(list);
        expectSameObjects(*back, objectsOf(list), jsonOf);
    }
}

// ---- checks every class shares ----

// A tag the class does not know is logged at info on the class's category
// and otherwise ignored: the object's fields stay as they were.
inline void expectUnknownTag(cObject& obj, VTag* tag, const char* category, const char* line) {
    const std::string before = jsonOf(obj);
    LogCapture log;
    EXPECT_TRUE(TagGroup().add(tag).feed(obj));
    EXPECT_TRUE(log.has(category, log4cpp::Priority::INFO, line));
    EXPECT_EQ(jsonOf(obj), before);
}

// Identity by the key fields: same shares a's, bigger has larger ones, other
// is of another class (never equal, never ordered against).
inline void expectIdentity(cObject& a, cObject& same, cObject& bigger, cObject& other) {
    EXPECT_TRUE(a.compIndex(&same));
    EXPECT_FALSE(a.compIndex(&bigger));
    EXPECT_FALSE(a.compIndex(nullptr));
    EXPECT_FALSE(a.compIndex(&other));
    EXPECT_TRUE(a < bigger);
    EXPECT_FALSE(bigger < a);
    EXPECT_FALSE(a < same);
    EXPECT_FALSE(a < other);
}

// A clone has the source's type and fields and outlives it; takes source.
inline void expectCloneOutlivesSource(cObject* source) {
    const std::string json = jsonOf(*source);
    const Strings tags = tagsOf(*source);
    std::unique_ptr<cObject> copy(source->clone());
    const cObject::eObjectTypes type = source->getType();
    delete source;
    EXPECT_EQ(type, copy->getType());
    EXPECT_EQ(json, jsonOf(*copy));
    EXPECT_EQ(tags, tagsOf(*copy));
}

// One key of a class's JSON array: a value that survives a round trip and
// differs from the default, and a value of the wrong JSON type.
struct JsonKeyRow {
    const char* key;
    const char* good;
    const char* bad;
    const char* warning;
};

// For each key in parse order: an element holding every key, that one with
// its wrong-type value, stops the parse with the key's warning; the keys
// before it are kept and the keys after it are not read.
template <class T, std::size_t N>
void expectWrongTypeStops(const JsonKeyRow (&rows)[N]) {
    for (std::size_t bad = 0; bad < N; ++bad) {
        SCOPED_TRACE(rows[bad].key);
        std::string text = "[{";
        for (std::size_t i = 0; i < N; ++i)
            text += std::string(i ? ", " : "") + "\"" + rows[i].key + "\": " +
                    (i == bad ? rows[i].bad : rows[i].good);
        text += "}]";
        T obj;
        expectJsonParse(obj, text, false, rows[bad].warning);
        const std::string out = jsonOf(obj);
        for (std::size_t i = 0; i < N; ++i) {
            const std::string element = std::string("{\"") + rows[i].key + "\": " + rows[i].good + "}";
            EXPECT_EQ(i < bad, out.find(element) != std::string::npos) << rows[i].key << " in " << out;
        }
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
