#include "device.h"

#include "objectfields.h"

using namespace wqx;

WQX_LOG_CATEGORY(deviceLog, "cObjectDevice")

namespace {

// The device writes status 1 and 2 as 0 and 1.
const CodePair kStatusCodes[] = {{1, 0}, {2, 1}};
// Type 9 travels as 8 and type 10 as 10: code 9 is never used.
const CodePair kTypeCodes[] = {{1, 0}, {2, 1}, {3, 2}, {4, 3}, {5, 4},
                               {6, 5}, {7, 6}, {8, 7}, {9, 8}, {10, 10}};

}  // namespace

cObjectDevice::cObjectDevice()
    : cObject(OBJ_DEVICE),
      deviceSerial(kNotSet32),
      deviceLabel(nullptr),
      deviceOpState(OPSTATE_NOT_SET),
      deviceStatus(STATUS_NOT_SET),
      deviceType(DEVICE_TYPE_NOT_SET),
      discreteInCount(kNotSet32),
      discreteOutCount(kNotSet32),
      analogInCount(kNotSet32),
      analogOutCount(kNotSet32),
      version(kNotSet32) {}

cObjectDevice::cObjectDevice(cObjectDevice* source) : cObjectDevice() {
    if (!source) return;
    deviceSerial = source->deviceSerial;
    setDeviceLabel(source->deviceLabel);
    deviceOpState = source->deviceOpState;
    deviceStatus = source->deviceStatus;
    deviceType = source->deviceType;
    discreteInCount = source->discreteInCount;
    discreteOutCount = source->discreteOutCount;
    analogInCount = source->analogInCount;
    analogOutCount = source->analogOutCount;
    version = source->version;
}

cObjectDevice::~cObjectDevice() { delete[] deviceLabel; }

void cObjectDevice::setDeviceLabel(const char* label) { setText(deviceLabel, label); }

cTagList* cObjectDevice::getTags() {
    cTagList* tags = new cTagList;
    tags->add(5);
    addIfSet(*tags, 8, deviceSerial);
    addIfSet(*tags, 9, deviceLabel);
    addCode(*tags, 6, kOpStateCodes, deviceOpState);
    addCode(*tags, 7, kStatusCodes, deviceStatus);
    addCode(*tags, 10, kTypeCodes, deviceType);
    addIfSet(*tags, 11, discreteInCount);
    addIfSet(*tags, 12, discreteOutCount);
    addIfSet(*tags, 13, analogInCount);
    addIfSet(*tags, 14, analogOutCount);
    addIfSet(*tags, 64, version);
    return tags;
}

void cObjectDevice::populate_tags(VTag* tag) {
    switch (tag->getTag()) {
    case 6:
        deviceOpState = static_cast<eObjectOpState>(valueOf(kOpStateCodes, cTagList::getUInt8(tag), 0));
        break;
    case 7:
        deviceStatus = static_cast<eObjectStatus>(valueOf(kStatusCodes, cTagList::getUInt8(tag), 0));
        break;
    case 8:
        deviceLog().debug("Add Serial Number 0x%08X", cTagList::getUInt32(tag));
        deviceSerial = cTagList::getUInt32(tag);
        break;
    case 9: setDeviceLabel(TagText(tag).c_str()); break;
    case 10:
        deviceType = static_cast<eDeviceType>(valueOf(kTypeCodes, cTagList::getUInt8(tag), 0));
        break;
    case 11: discreteInCount = cTagList::getUInt32(tag); break;
    case 12: discreteOutCount = cTagList::getUInt32(tag); break;
    case 13: analogInCount = cTagList::getUInt32(tag); break;
    case 14: analogOutCount = cTagList::getUInt32(tag); break;
    case 64: version = cTagList::getUInt32(tag); break;
    default: logUnknownTag(deviceLog(), tag); break;
    }
}

bool cObjectDevice::parse(VelmorObject* group, std::vector<VTag*>* msgTags) {
    return populateFrom(group, msgTags, [this](VTag* t) { populate_tags(t); });
}

json_t* cObjectDevice::getJSONObj() {
    return JsonFields()
        .integer("TAG_DEV_ID", deviceSerial)
        .text("TAG_DEV_LABEL", deviceLabel)
        .code("TAG_DEV_STATE", kOpStateCodes, deviceOpState)
        .code("TAG_DEV_STATUS", kStatusCodes, deviceStatus)
        .code("TAG_DEV_TYPE", kTypeCodes, deviceType)
        .integer("TAG_DEV_NDISCINPUT", discreteInCount)
        .integer("TAG_DEV_NDISCOUTPUT", discreteOutCount)
        .integer("TAG_DEV_NANALOGINPUT", analogInCount)
        .integer("TAG_DEV_NANALOGOUTPUT", analogOutCount)
        .integer("TAG_VERSION", version)
        .release();
}

bool cObjectDevice::parse(json_t* array) {
    static const JsonParseTexts texts = {"object in device parse not a JSON array",
                                         "Array size in device parse array size:%d ",
                                         "object in device parse not a JSON object "};
    return parseJsonFields(array, texts, [this](const JsonElement& e) {
        return e.u32("TAG_DEV_ID", "DeviceSerial in device parse not a number", deviceSerial) &&
               e.text("TAG_DEV_LABEL", "DeviceLabel in device parse not a string",
                      [this](const char* s) { setDeviceLabel(s); }) &&
               e.code8("TAG_DEV_STATE", "DeviceOpState in device parse not a number",
                       kOpStateCodes, deviceOpState) &&
               e.code8("TAG_DEV_STATUS", "DeviceStatus in device parse not a number",
                       kStatusCodes, deviceStatus) &&
               e.code8("TAG_DEV_TYPE", "DeviceType in device parse not a number", kTypeCodes,
                       deviceType) &&
               e.u32("TAG_DEV_NDISCINPUT", "DiscreteInCount in device parse not a number",
                     discreteInCount) &&
               e.u32("TAG_DEV_NDISCOUTPUT", "DiscreteOutCount in device parse not a number",
                     discreteOutCount) &&
               e.u32("TAG_DEV_NANALOGINPUT", "AnalogInCount in device parse not a number",
                     analogInCount) &&
               e.u32("TAG_DEV_NANALOGOUTPUT", "AnalogOutCount in device parse not a number",
                     analogOutCount) &&
               e.u32("TAG_VERSION", "Version in device parse not a number", version);
    });
}

bool cObjectDevice::compIndex(cObject* other) {
    cObjectDevice* d = dynamic_cast<cObjectDevice*>(other);
    return d && d->deviceSerial == deviceSerial;
}

bool cObjectDevice::operator<(cObject& other) {
    // Checked cast: comparing with another class answers false instead of
    // reading a field the other object does not have.
    cObjectDevice* d = dynamic_cast<cObjectDevice*>(&other);
    return d && deviceSerial < d->deviceSerial;
}

const char* cObjectDevice::printKey() { return nullptr; }

cObject* cObjectDevice::clone() { return new cObjectDevice(this); }
