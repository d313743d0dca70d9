// Helpers for the object class tests: the tags an object emits as plain
// values, tag groups built from dictionary-typed tags, and the whole-list
// round trips through a datagram and through the JSON document.
#ifndef WQX_TEST_OBJECTTESTS_H
#define WQX_TEST_OBJECTTESTS_H

#include <gtest/gtest.h>
#include <jansson.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "logcapture.h"
#include "object.h"
#include "objectlist.h"
#include "taglist.h"
#include "velmor.h"

// One emitted tag: number, value type and value as text ("" for none).
struct TagValue {
    int tag;
    unsigned int type;
    std::string value;
    bool operator==(const TagValue& o) const {
        return tag == o.tag && type == o.type && value == o.value;
    }
};

inline std::ostream& operator<<(std::ostream& os, const TagValue& t) {
    return os << "{" << t.tag << ", type " << t.type << ", \"" << t.value << "\"}";
}

inline std::string tagValueText(VTag* t) {
    char buf[512];
    switch (t->getType()) {
    case VTAG_NONE: return "";
    case VTAG_FLOAT:
        std::snprintf(buf, sizeof buf, "%g", static_cast<double>(cTagList::getFloat(t)));
        return buf;
    case VTAG_STRING: return cTagList::getString(t, buf, sizeof buf);
    default: return std::to_string(cTagList::getUInt32(t));
    }
}

// The object's tags in order; the list and its tags are freed.
inline std::vector<TagValue> tagsOf(cObject& obj) {
    std::unique_ptr<cTagList> tags(obj.getTags());
    std::vector<TagValue> out;
    while (VTag* t = tags->get()) {
        out.push_back({t->getTag(), t->getType(), tagValueText(t)});
        delete t;
    }
    return out;
}

// A tag as it arrives on the wire: converted to the dictionary's type.
template <class V>
VTag* wireTag(int tag, V value) {
    cTagList l;
    l.add(tag, value);
    return l.get();
}

// A tag group that owns its tags, for feeding parse(VelmorObject*, ...).
class TagGroup {
public:
    explicit TagGroup(unsigned char code) : group_(code) {}
    ~TagGroup() {
        for (VTag* t : owned_) delete t;
    }
    TagGroup(const TagGroup&) = delete;
    TagGroup& operator=(const TagGroup&) = delete;

    TagGroup& add(VTag* t) {
        owned_.push_back(t);
        group_.getTags().push_back(t);
        return *this;
    }
    VelmorObject* get() { return &group_; }

private:
    VelmorObject group_;
    std::vector<VTag*> owned_;
};

// json_dumps with flags 0, the layout the document uses; releases value.
inline std::string jsonText(json_t* value) {
    char* s = json_dumps(value, 0);
    std::string out = s ? s : "(null)";
    std::free(s);
    json_decref(value);
    return out;
}

inline std::string jsonOf(cObject& obj) { return jsonText(obj.getJSONObj()); }

// Parses text as a JSON value and hands it to obj.parse.
inline bool parseJsonText(cObject& obj, const char* text) {
    json_error_t err;
    json_t* v = json_loads(text, JSON_DECODE_ANY, &err);
    const bool ok = obj.parse(v);
    json_decref(v);
    return ok;
}

// A list that deletes its objects with it.
struct ListDeleter {
    void operator()(cObjectList* l) const {
        l->deleteObjects();
        delete l;
    }
};
using ListPtr = std::unique_ptr<cObjectList, ListDeleter>;

// list -> message -> one datagram -> message -> a new list of objects.
inline ListPtr throughDatagram(cObjectList& list) {
    std::unique_ptr<VMsg> msg(list.toMsg());
    unsigned char buf[1024];
    const unsigned short n = msg->getMsg(buf, sizeof buf);
    EXPECT_GT(n, 0u);
    std::unique_ptr<VMsg> back(VMsg::parseMsg(buf, n));
    EXPECT_TRUE(back);
    return ListPtr(cObject::parseMsg(back.get()));
}

// list -> JSON document -> a new list of objects.
inline ListPtr throughJsonDocument(cObjectList& list) {
    char* text = cObject::getJSON(&list);
    ListPtr back(cObject::parseJSON(text));
    cObject::deleteJSON(text);
    return back;
}

// Every object of list comes back from a datagram and from the JSON
// document with the same type and the same JSON form, in the same order.
inline void expectRoundTrips(cObjectList& list) {
    for (ListPtr (*trip)(cObjectList&) : {throughDatagram, throughJsonDocument}) {
        ListPtr back = trip(list);
        ASSERT_EQ(list.numObjects(), back->numObjects());
        cObject* b = back->first();
        for (cObject* a = list.first(); a; a = list.next(), b = back->next()) {
            ASSERT_EQ(a->getType(), b->getType());
            EXPECT_EQ(jsonOf(*a), jsonOf(*b));
        }
    }
}

// Identity by one number: same shares a's, bigger has a larger one, other
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
    std::unique_ptr<cObject> copy(source->clone());
    const cObject::eObjectTypes type = source->getType();
    delete source;
    EXPECT_EQ(type, copy->getType());
    EXPECT_EQ(json, jsonOf(*copy));
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
        LogCapture log;
        EXPECT_FALSE(parseJsonText(obj, text.c_str()));
        EXPECT_TRUE(log.has("cObject", log4cpp::Priority::WARN, rows[bad].warning));
        const std::string out = jsonOf(obj);
        for (std::size_t i = 0; i < N; ++i) {
            const std::string element = std::string("{\"") + rows[i].key + "\": " + rows[i].good + "}";
            EXPECT_EQ(i < bad, out.find(element) != std::string::npos) << rows[i].key << " in " << out;
        }
    }
}

#endif
