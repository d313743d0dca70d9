// cObject: the abstract base of every site object, its type factory, and the
// static conversions of whole lists to and from messages and JSON text.
//
// Ownership: create(), clone(), getTags(), getJSONObj(), parseMsg() and
// parseJSON() return new values owned by the caller; getJSON()'s text is
// released with deleteJSON(). Texts returned by getters are borrowed.
// Errors: results only (null, false, an empty or partly filled list) plus a
// log line; nothing throws.
// Thread safety: an object is used by one thread at a time; the static
// conversions are reentrant.
#ifndef WQX_OBJECT_H
#define WQX_OBJECT_H

#include <jansson.h>

#include <vector>

#include "velmor.h"
#include "wqxexport.h"

class cTagList;
class cObjectList;

class WQX_EXPORT cObject {
public:
    // Every enum of the object model has int as its fixed underlying type:
    // values outside the named ones arrive from callers and old data (a type
    // of 200, a state of 4), and must be representable so that the code
    // that rejects them has defined behaviour.
    enum eObjectTypes : int {
        OBJ_DEVICE = 0,
        OBJ_PORT = 1,
        OBJ_PORT_DIN = 2,
        OBJ_PORT_DOUT = 3,
        OBJ_PORT_AIN = 4,
        OBJ_EVENT = 5,
        OBJ_MSG_INFO = 6,
        OBJ_SITE_CFG = 7,
        OBJ_TREND_EVENT = 8,
        OBJ_ANALOG_SAMPLE = 9,
        OBJ_ACCESS = 10,
        OBJ_PORT_AOUT = 11,
        OBJ_CAPABILITY = 12,
        OBJ_ADHOC_EVENT = 13,
        OBJ_NONE = 14,
    };
    // 0 is "not set" in all three; each class maps the others to its own
    // wire and JSON codes.
    enum eObjectStatus : int { STATUS_NOT_SET = 0, STATUS_1 = 1, STATUS_2 = 2, STATUS_3 = 3 };
    enum eObjectOpState : int { OPSTATE_NOT_SET = 0, OPSTATE_1 = 1, OPSTATE_2 = 2, OPSTATE_3 = 3 };
    enum eObjectIOState : int { IOSTATE_NOT_SET = 0, IOSTATE_1 = 1, IOSTATE_2 = 2 };

    cObject() : type_(OBJ_NONE) {}
    explicit cObject(eObjectTypes type) : type_(type) {}
    virtual ~cObject();

    // A default-constructed object of the type's class; null for OBJ_NONE
    // and anything outside 0 to 13.
    static cObject* create(eObjectTypes type);

    eObjectTypes getType() const { return type_; }
    void setType(eObjectTypes type) { type_ = type; }

    // The JSON name ("OBJ_DEVICE", ...) of a type, null outside 0 to 13.
    static const char* getJSONName(eObjectTypes type);
    // The wire object code of a type, 0 outside 0 to 13.
    static unsigned char getWireCode(eObjectTypes type);

    // The object's tags, wire object code first; a new list the caller owns.
    virtual cTagList* getTags() = 0;
    // The object's JSON field array; a new reference the caller owns.
    virtual json_t* getJSONObj() = 0;
    // Fills the object from one tag group, then the message-level tags
    // (which therefore win). Never fails; returns true.
    virtual bool parse(VelmorObject* group, std::vector<VTag*>* msgTags) = 0;
    // Fills the object from a JSON field array; false (with a warning) at
    // the first value of the wrong type, keeping what was taken before.
    virtual bool parse(json_t* array) = 0;
    // True when other is of this class with the same identity fields.
    virtual bool compIndex(cObject* other) = 0;
    virtual bool operator<(cObject& other) = 0;
    // A text naming the key (borrowed, may be null).
    virtual const char* printKey() = 0;
    virtual cObject* clone() = 0;

    // ---- whole lists ----

    // Groups the message's tags by object and builds one object per group.
    // Always returns a new list (empty when nothing could be read).
    static cObjectList* parseMsg(VMsg* msg);
    // The list as a JSON document; release the text with deleteJSON.
    static char* getJSON(cObjectList* list);
    // Reads a JSON document; never returns null.
    static cObjectList* parseJSON(const char* text);
    static eObjectTypes getObjectTypeForJSON(const char* name);
    static void deleteJSON(char* text);

protected:
    cObject(const cObject&) = default;
    cObject& operator=(const cObject&) = default;

private:
    eObjectTypes type_;
};

#endif
