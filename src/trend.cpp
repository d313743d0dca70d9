#include "trend.h"

#include "objectfields.h"

using namespace wqx;

WQX_LOG_CATEGORY(trendLog, "cObjectTrend")

cObjectTrend::cObjectTrend()
    : cObject(OBJ_TREND_EVENT),
      trendSeqNum(kNotSet32),
      timeStamp(kNotSet32),
      deviceSerial(kNotSet32),
      portId(kNotSet32),
      objectType(0),
      calculatedValue(notSetFloat()),
      startSeqNum(kNotSet32) {}

cObjectTrend::cObjectTrend(cObjectTrend* source) : cObjectTrend() {
    if (!source) return;
    trendSeqNum = source->trendSeqNum;
    timeStamp = source->timeStamp;
    deviceSerial = source->deviceSerial;
    portId = source->portId;
    objectType = source->objectType;
    calculatedValue = source->calculatedValue;
    startSeqNum = source->startSeqNum;
}

cObjectTrend::~cObjectTrend() = default;

cTagList* cObjectTrend::getTags() {
    cTagList* tags = new cTagList;
    tags->add(72);
    addIfSet(*tags, 37, trendSeqNum);
    addIfSet(*tags, 39, timeStamp);
    addIfSet(*tags, 8, deviceSerial);
    addIfSet(*tags, 25, portId);
    tags->add(40, static_cast<unsigned char>(objectType));
    addIfSet(*tags, 52, calculatedValue);
    addIfSet(*tags, 44, startSeqNum);
    return tags;
}

void cObjectTrend::populate_tags(VTag* tag) {
    switch (tag->getTag()) {
    case 8: deviceSerial = cTagList::getUInt32(tag); break;
    case 25: portId = cTagList::getUInt32(tag); break;
    case 37: trendSeqNum = cTagList::getUInt32(tag); break;
    case 39: timeStamp = cTagList::getUInt32(tag); break;
    case 40: objectType = cTagList::getUInt32(tag); break;
    case 44: startSeqNum = cTagList::getUInt32(tag); break;
    case 52: calculatedValue = cTagList::getFloat(tag); break;
    default: logUnknownTag(trendLog(), tag); break;
    }
}

bool cObjectTrend::parse(VelmorObject* group, std::vector<VTag*>* msgTags) {
    return populateFrom(group, msgTags, [this](VTag* t) { populate_tags(t); });
}

json_t* cObjectTrend::getJSONObj() {
    return JsonFields()
        .integer("TAG_EVT_SEQ", trendSeqNum)
        .integer("TAG_EVT_TIMESTAMP", timeStamp)
        .integer("TAG_DEV_ID", deviceSerial)
        .integer("TAG_PORT_PNUM", portId)
        .integer("TAG_EVT_OBJTYPE", objectType)
        .real("TAG_AI_CALCULATED_VALUE", calculatedValue)
        .integer("TAG_EVT_START_SEQ", startSeqNum)
        .release();
}

bool cObjectTrend::parse(json_t* array) {
    // The array warning names the analog input; log readers match it as it stands.
    static const JsonParseTexts texts = {"object in ainput parse not a JSON array",
                                         "Array size in trend parse array size:%d ",
                                         "object in trend parse not a JSON object "};
    return parseJsonFields(array, texts, [this](const JsonElement& e) {
        return e.u32("TAG_EVT_SEQ", "TrendSeqNum in trend parse not a number", trendSeqNum) &&
               e.u32("TAG_EVT_TIMESTAMP", "TimeStamp in trend parse not a number", timeStamp) &&
               e.u32("TAG_DEV_ID", "DeviceSerial in trend parse not a number", deviceSerial) &&
               e.u32("TAG_PORT_PNUM", "PortID in trend parse not a number", portId) &&
               e.u32("TAG_EVT_OBJTYPE", "ObjectType in trend parse not a number", objectType) &&
               e.f32("TAG_AI_CALCULATED_VALUE", "CalculatedValue in trend parse not a number",
                     calculatedValue) &&
               e.u32("TAG_EVT_START_SEQ", "StartSeqNum in trend parse not a number", startSeqNum);
    });
}

bool cObjectTrend::compIndex(cObject* other) {
    cObjectTrend* t = dynamic_cast<cObjectTrend*>(other);
    return t && t->trendSeqNum == trendSeqNum;
}

bool cObjectTrend::operator<(cObject& other) {
    // Checked cast: another class has no trend sequence number to compare with.
    cObjectTrend* t = dynamic_cast<cObjectTrend*>(&other);
    return t && trendSeqNum < t->trendSeqNum;
}

const char* cObjectTrend::printKey() { return ""; }

cObject* cObjectTrend::clone() { return new cObjectTrend(this); }
