#include "capability.h"

#include <tuple>

#include "objectfields.h"

using namespace wqx;

WQX_LOG_CATEGORY(capabilityLog, "cObjectCapability")

cObjectCapability::cObjectCapability()
    : cObject(OBJ_CAPABILITY),
      deviceSerial(kNotSet32),
      capId(kNotSet32),
      label(nullptr),
      value(nullptr) {}

cObjectCapability::cObjectCapability(cObjectCapability* source) : cObjectCapability() {
    if (!source) return;
    setDeviceSerial(source->getDeviceSerial());
    setCapId(source->getCapId());
    setLabel(source->getLabel());
    setValue(source->getValue());
}

cObjectCapability::~cObjectCapability() {
    delete[] label;
    delete[] value;
}

void cObjectCapability::setLabel(const char* text) { setText(label, text); }
void cObjectCapability::setValue(const char* text) { setText(value, text); }

cTagList* cObjectCapability::getTags() {
    cTagList* tags = new cTagList;
    tags->add(171);
    addIfSet(*tags, 8, deviceSerial);
    addIfSet(*tags, 174, capId);
    addIfSet(*tags, 172, label);
    addIfSet(*tags, 173, value);
    return tags;
}

void cObjectCapability::populate_tags(VTag* tag) {
    switch (tag->getTag()) {
    case 8: deviceSerial = cTagList::getUInt32(tag); break;
    case 172: setLabel(TagText(tag).c_str()); break;
    case 173: setValue(TagText(tag).c_str()); break;
    case 174: capId = cTagList::getUInt32(tag); break;
    default: logUnknownTag(capabilityLog(), tag); break;
    }
}

bool cObjectCapability::parse(VelmorObject* group, std::vector<VTag*>* msgTags) {
    return populateFrom(group, msgTags, [this](VTag* t) { populate_tags(t); });
}

json_t* cObjectCapability::getJSONObj() {
    return JsonFields()
        .integer("TAG_DEV_ID", deviceSerial)
        .integer("TAG_CAP_ID", capId)
        .text("TAG_CAP_LABEL", label)
        .text("TAG_CAP_VALUE", value)
        .release();
}

bool cObjectCapability::parse(json_t* array) {
    // Peers match these texts as they are, borrowed names included.
    static const JsonParseTexts texts = {"object in capability parse not a JSON object",
                                         "Array size in capability parse array size:%d ",
                                         "object in capability parse not a JSON object "};
    return parseJsonFields(array, texts, [this](const JsonElement& e) {
        return e.u32("TAG_DEV_ID", "devId in capability parse not a number", deviceSerial) &&
               e.u32("TAG_CAP_ID", "pNum in capability parse not a number", capId) &&
               e.text("TAG_CAP_LABEL", "portLabel in capability parse not a string",
                      [this](const char* s) { setLabel(s); }) &&
               e.text("TAG_CAP_VALUE", "Event Value in adhoc parse not a string",
                      [this](const char* s) { setValue(s); });
    });
}

bool cObjectCapability::compIndex(cObject* other) {
    cObjectCapability* c = dynamic_cast<cObjectCapability*>(other);
    return c && c->capId == capId && c->deviceSerial == deviceSerial;
}

bool cObjectCapability::operator<(cObject& other) {
    // Checked cast: another class is never less, rather than having fields
    // it does not own read as a capability's.
    cObjectCapability* c = dynamic_cast<cObjectCapability*>(&other);
    return c && std::tie(deviceSerial, capId) < std::tie(c->deviceSerial, c->capId);
}

const char* cObjectCapability::printKey() { return ""; }

cObject* cObjectCapability::clone() { return new cObjectCapability(this); }
