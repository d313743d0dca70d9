#include "object.h"

#include <cstdlib>
#include <cstring>

#include "access.h"
#include "adhoc.h"
#include "ainput.h"
#include "aoutput.h"
#include "asample.h"
#include "capability.h"
#include "device.h"
#include "dinput.h"
#include "doutput.h"
#include "event.h"
#include "msginfo.h"
#include "fieldtable.h"
#include "objectlist.h"
#include "port.h"
#include "sitecfg.h"
#include "trend.h"

using wqx::objectLog;

namespace {

struct TypeInfo {
    const char* jsonName;
    unsigned char wireCode;
};

// Indexed by eObjectTypes 0 to 13.
const TypeInfo kTypes[] = {
    {"OBJ_DEVICE", 5},         {"OBJ_PORT", 23},         {"OBJ_PORT_DIN", 15},
    {"OBJ_PORT_DOUT", 16},     {"OBJ_PORT_AIN", 48},     {"OBJ_EVENT", 36},
    {"OBJ_MSG_INFO", 65},      {"OBJ_SITE_CFG", 29},     {"OBJ_TREND_EVENT", 72},
    {"OBJ_ANALOG_SAMPLE", 63}, {"OBJ_ACCESS", 73},       {"OBJ_PORT_AOUT", 77},
    {"OBJ_CAPABILITY", 171},   {"OBJ_ADHOC_EVENT", 175},
};
const int kTypeCount = sizeof kTypes / sizeof kTypes[0];

bool validType(int type) { return type >= 0 && type < kTypeCount; }

// The class a received tag group opens with. Message info is only ever sent,
// so its code maps to no type here.
cObject::eObjectTypes typeForWireCode(unsigned char code) {
    for (int t = 0; t < kTypeCount; ++t)
        if (kTypes[t].wireCode == code && t != cObject::OBJ_MSG_INFO)
            return static_cast<cObject::eObjectTypes>(t);
    return cObject::OBJ_NONE;
}

}  // namespace

cObject::~cObject() = default;

cObject* cObject::create(eObjectTypes type) {
    switch (type) {
    case OBJ_DEVICE: return new cObjectDevice;
    case OBJ_PORT: return new cObjectPort;
    case OBJ_PORT_DIN: return new cObjectDInput;
    case OBJ_PORT_DOUT: return new cObjectDOutput;
    case OBJ_PORT_AIN: return new cObjectAInput;
    case OBJ_EVENT: return new cObjectEvent;
    case OBJ_MSG_INFO: return new cObjectMsgInfo;
    case OBJ_SITE_CFG: return new cObjectSiteConfig;
    case OBJ_TREND_EVENT: return new cObjectTrend;
    case OBJ_ANALOG_SAMPLE: return new cObjectAnalogSample;
    case OBJ_ACCESS: return new cObjectAccess;
    case OBJ_PORT_AOUT: return new cObjectAOutput;
    case OBJ_CAPABILITY: return new cObjectCapability;
    case OBJ_ADHOC_EVENT: return new cObjectAdhocEvent;
    default: return nullptr;
    }
}

const char* cObject::getJSONName(eObjectTypes type) {
    return validType(type) ? kTypes[type].jsonName : nullptr;
}

unsigned char cObject::getWireCode(eObjectTypes type) {
    return validType(type) ? kTypes[type].wireCode : 0;
}

namespace {

cObject* objectFor(unsigned char code) {
    cObject* obj = cObject::create(typeForWireCode(code));
    if (!obj) objectLog().debug("Unknown Object %02X(%d)", code, code);
    return obj;
}

void addTo(cObject* obj, void* list) { static_cast<cObjectList*>(list)->add(obj); }

}  // namespace

// Reads the message's encoded tags in place: the tags before the first
// wire object code are the message-level ones, and each object code opens
// a group that runs to the next. No tag object is made.
cObjectList* cObject::parseMsg(VMsg* msg) {
    cObjectList* list = new cObjectList;
    if (!msg) {
        objectLog().warn("No Velmor Message");
        return list;
    }
    // Looked up once: each look costs a walk up the category tree.
    const bool tracing = objectLog().isDebugEnabled();
    if (tracing) objectLog().debug("Got Velmor Message");
    const VelmorDictDef& dict = *WQX::DictDef;
    std::size_t size = 0;
    const unsigned char* const tags = msg->getEncodedTags(size);
    const unsigned char* objects = tags + size;
    int groups = 0;
    VTagView v;
    for (VTagReader r(tags, size); r.next(v);) {
        if (!dict.isObjectCode(v.tag)) continue;
        if (groups++ == 0) objects = v.value - 4;
        if (!tracing) break;  // the count is only for this line
    }
    if (tracing) objectLog().debug("Got %d Objects", groups);
    const std::size_t msgTagBytes = static_cast<std::size_t>(objects - tags);
    wqx::decodeObjects(objects, size - msgTagBytes, tags, msgTagBytes, objectFor, addTo, list);
    if (tracing) objectLog().debug("Returning %d Objects", list->numObjects());
    return list;
}

// ---- the JSON document ----

char* cObject::getJSON(cObjectList* list) {
    json_t* root = json_array();
    int taken = 0;
    for (cObject* obj = list ? list->first() : nullptr; list && taken < list->numObjects();
         obj = list->next()) {
        ++taken;
        // A null entry has no type to name; an entry of two empty objects
        // would stop any reader, so it is left out of the document.
        if (!obj) continue;
        json_t* typeObj = json_object();
        json_t* valuesObj = json_object();
        const char* name = getJSONName(obj->getType());
        if (name) {
            json_object_set_new(typeObj, "objectType", json_string(name));
            json_t* values = obj->getJSONObj();
            json_object_set_new(valuesObj, "objectValues", values ? values : json_array());
        } else {
            objectLog().debug("Unknown Object JSON");
        }
        json_t* entry = json_array();
        json_array_append_new(entry, typeObj);
        json_array_append_new(entry, valuesObj);
        json_array_append_new(root, entry);
    }
    char* text = json_dumps(root, 0);
    json_decref(root);
    return text;
}

void cObject::deleteJSON(char* text) { std::free(text); }

cObject::eObjectTypes cObject::getObjectTypeForJSON(const char* name) {
    if (!name) return OBJ_NONE;
    for (int t = 0; t < kTypeCount; ++t)
        if (std::strcmp(kTypes[t].jsonName, name) == 0) return static_cast<eObjectTypes>(t);
    return OBJ_NONE;
}

namespace {

// Reads one entry of the document into list. Returns false when the
// reading must stop.
bool parseEntry(json_t* entry, cObjectList* list) {
    if (!json_is_array(entry)) {
        objectLog().warn("Object recieved from JSON root not a json Array");
        return false;
    }
    json_t* typeObj = json_array_get(entry, 0);
    if (!json_is_object(typeObj)) {
        objectLog().warn("Object recieved from objectArray is not a JSON object");
        return true;
    }
    json_t* typeName = json_object_get(typeObj, "objectType");
    if (!json_is_string(typeName)) {
        objectLog().warn("objectType JSON object gotten is not a JSON string");
        return false;
    }
    const cObject::eObjectTypes type = cObject::getObjectTypeForJSON(json_string_value(typeName));
    json_t* valuesObj = json_array_get(entry, 1);
    if (!json_is_object(valuesObj)) {
        objectLog().warn("objectValues object gotten is not a JSON object");
        return false;
    }
    json_t* values = json_object_get(valuesObj, "objectValues");
    if (!json_is_array(values)) {
        objectLog().warn("objectValuesArray not JSON array:");
        return false;
    }
    cObject* obj = type == cObject::OBJ_MSG_INFO ? nullptr : cObject::create(type);
    if (!obj) {
        objectLog().debug("Unknown JSON Object");
        return true;
    }
    obj->parse(values);
    if (cObjectAdhocEvent* adhoc = dynamic_cast<cObjectAdhocEvent*>(obj)) {
        const char* label = adhoc->getEventLabel();
        objectLog().warn("Eventlabel:'%s'", label ? label : "");
    }
    list->add(obj);
    return true;
}

}  // namespace

cObjectList* cObject::parseJSON(const char* text) {
    cObjectList* list = new cObjectList;
    json_error_t error;
    json_t* root = text ? json_loads(text, 0, &error) : nullptr;
    if (!root || !json_is_array(root)) {
        objectLog().warn("%s", "");
        json_decref(root);
        return list;
    }
    const std::size_t n = json_array_size(root);
    for (std::size_t i = 0; i < n; ++i)
        if (!parseEntry(json_array_get(root, i), list)) break;
    json_decref(root);
    return list;
}
