#include "objectlist.h"

#include <algorithm>

#include "fieldtable.h"
#include "taglist.h"

// Every parsed message makes a list: its category is looked up once.
WQX_LOG_CATEGORY(listLog, "cObjectList")

namespace {

// Logs each tag of msg from byte `from` on, counting on from count.
void traceTags(const VMsg& msg, std::size_t from, unsigned int count) {
    std::size_t size = 0;
    const unsigned char* bytes = msg.getEncodedTags(size);
    VTagView v;
    for (VTagReader r(bytes + from, size - from); r.next(v);)
        listLog().debug("Add Tag %02X(%d) len %d cnt = %d", v.tag, v.tag, v.len + 4, ++count);
}

}  // namespace

cObjectList::cObjectList()
    : cVlog(listLog()), msgType(0xFF), msgSeq(0xFF), event(false), cursor(0) {}

cObjectList::~cObjectList() = default;

void cObjectList::deleteObjects() {
    while (!objects.empty()) {
        delete objects.front();
        objects.pop_front();
    }
    cursor = 0;
}

void cObjectList::add(cObject* obj) { objects.push_back(obj); }

cObject* cObjectList::get() {
    if (event || objects.empty()) return nullptr;
    cObject* obj = objects.front();
    objects.pop_front();
    if (cursor > 0) --cursor;
    return obj;
}

cObject* cObjectList::get(cObject* key) {
    if (event || !key) return nullptr;
    auto it = std::find_if(objects.begin(), objects.end(),
                           [key](cObject* o) { return key->compIndex(o); });
    if (it == objects.end()) return nullptr;
    cObject* found = *it;
    eraseEntries(found);
    return found;
}

void cObjectList::eraseEntries(cObject* obj) {
    for (std::size_t i = objects.size(); i-- > 0;) {
        if (objects[i] != obj) continue;
        objects.erase(objects.begin() + static_cast<std::ptrdiff_t>(i));
        // The cursor stays on the entry it would have returned next.
        if (i < cursor) --cursor;
    }
}

cObject* cObjectList::first() {
    if (objects.empty()) return nullptr;
    cursor = 1;
    return objects.front();
}

cObject* cObjectList::next() {
    if (cursor >= objects.size()) return nullptr;
    return objects[cursor++];
}

bool cObjectList::remove(cObject* key) {
    if (event || !key) return false;
    auto it = std::find_if(objects.begin(), objects.end(),
                           [key](cObject* o) { return key->compIndex(o); });
    if (it == objects.end()) return false;
    cObject* found = *it;
    // The same pointer may stand in the list more than once; it must not
    // be left behind once its object is deleted.
    eraseEntries(found);
    delete found;
    return true;
}

VMsg* cObjectList::toMsg() {
    VMsg* msg = new VMsg(msgType);
    msg->setSeq(msgSeq & 0x7F);
    // Objects encode to a few dozen bytes each: room for most lists at once
    // instead of regrowing (and copying) the bytes a dozen times.
    msg->reserveEncoded(objects.size() * 96);
    const bool tracing = category().isDebugEnabled();
    for (cObject* obj : objects) {
        if (!obj) {
            debug("Weird NULL object in list");
            continue;
        }
        if (tracing) debug("Add Object..");
        std::size_t before = 0;
        msg->getEncodedTags(before);
        const unsigned int counted = msg->getTagCount();
        // Our own classes write their tags straight into the message; a
        // program's own class derived from one of them may have changed its
        // tags, so it is asked for them.
        if (!wqx::encodeObject(*obj, *msg)) {
            cTagList* tags = obj->getTags();
            if (!tags) continue;
            while (VTag* t = tags->get()) msg->addTag(t);
            delete tags;
        }
        if (tracing) traceTags(*msg, before, counted);
    }
    return msg;
}

bool cObjectList::match(VMsg* msg) {
    debug("Checking registry for matching request");
    if (!msg) return false;
    if (msgType != msg->getType()) {
        debug("Request type does not match");
        return false;
    }
    debug("Request Type is good");
    if (msgSeq == (msg->getSeq() & 0x7F)) {
        debug("Matching Sequence %d", msgSeq);
        return true;
    }
    return false;
}
