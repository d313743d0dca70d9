#include "access.h"

#include <tuple>

#include "objectfields.h"

using namespace wqx;

WQX_LOG_CATEGORY(accessLog, "cObjectAccess")

cObjectAccess::cObjectAccess()
    : cObject(OBJ_ACCESS),
      deviceSerial(kNotSet32),
      portNum(kNotSet32),
      label(nullptr),
      scanCode(nullptr) {}

cObjectAccess::cObjectAccess(cObjectAccess* source) : cObjectAccess() {
    if (!source) return;
    deviceSerial = source->deviceSerial;
    portNum = source->portNum;
    setScanCode(source->scanCode);
    setLabel(source->label);
}

cObjectAccess::~cObjectAccess() {
    delete[] scanCode;
    delete[] label;
}

void cObjectAccess::setLabel(const char* text) { setText(label, text); }
void cObjectAccess::setScanCode(const char* text) { setText(scanCode, text); }

cTagList* cObjectAccess::getTags() {
    cTagList* tags = new cTagList;
    tags->add(73);
    addIfSet(*tags, 8, deviceSerial);
    addLow8IfSet(*tags, 18, portNum);
    addIfSet(*tags, 26, label);
    addIfSet(*tags, 74, scanCode);
    return tags;
}

void cObjectAccess::populate_tags(VTag* tag) {
    switch (tag->getTag()) {
    case 8: deviceSerial = cTagList::getUInt32(tag); break;
    case 18: portNum = cTagList::getUInt32(tag); break;
    case 26: setLabel(TagText(tag).c_str()); break;
    case 74: setScanCode(TagText(tag).c_str()); break;
    default: logUnknownTag(accessLog(), tag); break;
    }
}

bool cObjectAccess::parse(VelmorObject* group, std::vector<VTag*>* msgTags) {
    return populateFrom(group, msgTags, [this](VTag* t) { populate_tags(t); });
}

json_t* cObjectAccess::getJSONObj() {
    // The label shares the ad hoc event's key: peers read both the same way.
    return JsonFields()
        .integer("TAG_DEV_ID", deviceSerial)
        .integer("TAG_IO_PNUM", portNum)
        .text("TAG_ADHOC_LABEL", label)
        .text("TAG_ACCESS_SCAN_CODE", scanCode)
        .release();
}

bool cObjectAccess::parse(json_t* array) {
    static const JsonParseTexts texts = {"object in access parse not a JSON array",
                                         "Array size in access parse array size:%d ",
                                         "object in access parse not a JSON object "};
    return parseJsonFields(array, texts, [this](const JsonElement& e) {
        return e.u32("TAG_DEV_ID", "devID in access parse not a number", deviceSerial) &&
               e.u32("TAG_IO_PNUM", "PortId in access parse not a number", portNum) &&
               e.text("TAG_ADHOC_LABEL", "Event label in access parse not a string",
                      [this](const char* s) { setLabel(s); }) &&
               e.text("TAG_ACCESS_SCAN_CODE", "Event Value in access parse not a string",
                      [this](const char* s) { setScanCode(s); });
    });
}

bool cObjectAccess::compIndex(cObject* other) {
    cObjectAccess* a = dynamic_cast<cObjectAccess*>(other);
    return a && a->portNum == portNum && a->deviceSerial == deviceSerial;
}

bool cObjectAccess::operator<(cObject& other) {
    // Checked cast: another class is never less, rather than having fields
    // it does not own read as an access scan's.
    cObjectAccess* a = dynamic_cast<cObjectAccess*>(&other);
    return a && std::tie(deviceSerial, portNum) < std::tie(a->deviceSerial, a->portNum);
}

const char* cObjectAccess::printKey() { return ""; }

cObject* cObjectAccess::clone() { return new cObjectAccess(this); }
