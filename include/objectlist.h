// cObjectList: an ordered list of objects with the message type and 7-bit
// sequence number under which it travels.
//
// Ownership: the list does not own its objects; its destructor frees only
// its entries. deleteObjects() and remove() delete objects; get() hands
// one over to the caller. toMsg() returns a new message the caller owns.
// Errors: none are thrown; refusals are null or false results.
// Thread safety: one thread at a time; the client hands lists over between
// threads, it never shares them.
#ifndef WQX_OBJECTLIST_H
#define WQX_OBJECTLIST_H

#include <cstddef>
#include <deque>

#include "object.h"
#include "velmor.h"
#include "vlog.h"
#include "wqxexport.h"

class WQX_EXPORT cObjectList : public cVlog {
public:
    cObjectList();
    ~cObjectList() override;
    cObjectList(const cObjectList&) = delete;
    cObjectList& operator=(const cObjectList&) = delete;

    // Removes every entry and deletes its object.
    void deleteObjects();
    // Appends obj (null entries are allowed and skipped by toMsg).
    void add(cObject* obj);
    // Removes and returns the first object; null for an event list.
    cObject* get();
    // Removes and returns the first object that key->compIndex accepts
    // (every entry holding that pointer goes); null for an event list.
    cObject* get(cObject* key);
    // Iteration: first() and then next() until null. A null entry also
    // reads as null; tell them apart with numObjects().
    cObject* first();
    cObject* next();
    // Deletes the first object that key->compIndex accepts; false for an
    // event list or when nothing matches.
    bool remove(cObject* key);

    void setMsgType(unsigned char type) { msgType = type; }
    unsigned char getMsgType() const { return msgType; }
    void setMsgSeq(unsigned char seq) { msgSeq = seq & 0x7F; }
    unsigned char getMsgSeq() const { return msgSeq; }
    void setEvent() { event = true; }
    bool isEvent() const { return event; }
    int numObjects() const { return static_cast<int>(objects.size()); }

    // One whole message (segment 0 of 1) of the list's type and sequence,
    // holding each object's tags in list order; segmentMessage cuts it for
    // sending.
    VMsg* toMsg();
    // Whether msg answers this list: same type and 7-bit sequence.
    bool match(VMsg* msg);

private:
    // Removes every entry holding obj, keeping the cursor in step.
    void eraseEntries(cObject* obj);

    std::deque<cObject*> objects;
    unsigned char msgType;
    unsigned char msgSeq;
    bool event;
    std::size_t cursor;
};

#endif
