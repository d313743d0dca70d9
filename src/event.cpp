#include "event.h"

#include "objectfields.h"

using namespace wqx;

WQX_LOG_CATEGORY(eventLog, "cObjectEvent")

namespace {

const CodePair kTypeCodes[] = {{1, 1}, {2, 2}, {3, 3}};
// Status 1 and 2 swap places on the wire; 3 stays.
const CodePair kStatusCodes[] = {{1, 2}, {2, 1}, {3, 3}};
const CodePair kOpCodes[] = {{1, 1}, {2, 2}, {3, 3}, {4, 4}};

}  // namespace

cObjectEvent::cObjectEvent()
    : cObject(OBJ_EVENT),
      seqNum(kNotSet32),
      eventType(EVENT_TYPE_NOT_SET),
      timeStamp(kNotSet32),
      deviceSerial(kNotSet32),
      portId(kNotSet32),
      objectType(kNotSet32),
      status(STATUS_NOT_SET),
      opState(OPSTATE_NOT_SET),
      eventOp(EVENT_OP_NOT_SET),
      deviceSerialOld(kNotSet32),
      startSeq(kNotSet32),
      endSeq(kNotSet32),
      startTime(kNotSet32),
      endTime(kNotSet32) {}

cObjectEvent::cObjectEvent(cObjectEvent* source) : cObjectEvent() {
    if (!source) return;
    seqNum = source->seqNum;
    eventType = source->eventType;
    timeStamp = source->timeStamp;
    deviceSerial = source->deviceSerial;
    portId = source->portId;
    objectType = source->objectType;
    status = source->status;
    opState = source->opState;
    eventOp = source->eventOp;
    deviceSerialOld = source->deviceSerialOld;
    startSeq = source->startSeq;
    endSeq = source->endSeq;
    startTime = source->startTime;
    endTime = source->endTime;
}

cObjectEvent::~cObjectEvent() = default;

cTagList* cObjectEvent::getTags() {
    cTagList* tags = new cTagList;
    tags->add(36);
    addIfSet(*tags, 37, seqNum);
    addCode(*tags, 38, kTypeCodes, eventType);
    addIfSet(*tags, 39, timeStamp);
    addIfSet(*tags, 8, deviceSerial);
    addIfSet(*tags, 25, portId);
    if (isSet(objectType)) tags->add(40, static_cast<unsigned char>(objectType));
    addCode(*tags, 41, kStatusCodes, status);
    addCode(*tags, 42, kOpStateCodes, opState);
    addCode(*tags, 43, kOpCodes, eventOp);
    addIfSet(*tags, 67, deviceSerialOld);
    addIfSet(*tags, 44, startSeq);
    addIfSet(*tags, 45, endSeq);
    addIfSet(*tags, 46, startTime);
    addIfSet(*tags, 47, endTime);
    return tags;
}

// An incoming code outside a table is ignored: each enum field is passed as
// its own fallback, so it keeps the value it had.
void cObjectEvent::populate_tags(VTag* tag) {
    switch (tag->getTag()) {
    case 8: deviceSerial = cTagList::getUInt32(tag); break;
    case 25: portId = cTagList::getUInt32(tag); break;
    case 37: seqNum = cTagList::getUInt32(tag); break;
    case 38:
        eventType = static_cast<eEventType>(valueOf(kTypeCodes, cTagList::getUInt8(tag), eventType));
        break;
    case 39: timeStamp = cTagList::getUInt32(tag); break;
    case 40: objectType = cTagList::getUInt8(tag); break;
    case 41:
        status = static_cast<eObjectStatus>(valueOf(kStatusCodes, cTagList::getUInt8(tag), status));
        break;
    case 42:
        opState = static_cast<eObjectOpState>(valueOf(kOpStateCodes, cTagList::getUInt8(tag), opState));
        break;
    case 43:
        eventOp = static_cast<eEventOpType>(valueOf(kOpCodes, cTagList::getUInt8(tag), eventOp));
        break;
    case 44: startSeq = cTagList::getUInt32(tag); break;
    case 45: endSeq = cTagList::getUInt32(tag); break;
    case 46: startTime = cTagList::getUInt32(tag); break;
    case 47: endTime = cTagList::getUInt32(tag); break;
    case 67: deviceSerialOld = cTagList::getUInt32(tag); break;
    default: logUnknownTag(eventLog(), tag, "Unknown tag %d"); break;
    }
}

bool cObjectEvent::parse(VelmorObject* group, std::vector<VTag*>* msgTags) {
    return populateFrom(group, msgTags, [this](VTag* t) { populate_tags(t); });
}

json_t* cObjectEvent::getJSONObj() {
    return JsonFields()
        .integer("TAG_EVT_SEQ", seqNum)
        .integer("TAG_EVT_TYPE", eventType)
        .integer("TAG_EVT_TIMESTAMP", timeStamp)
        .integer("TAG_DEV_ID", deviceSerial)
        .integer("TAG_PORT_PNUM", portId)
        .integer("TAG_EVT_OBJTYPE", objectType)
        .code("TAG_EVT_ALARM_STATUS", kStatusCodes, status)
        .code("TAG_EVT_OP_STATE", kOpStateCodes, opState)
        .code("TAG_EVT_OPERATION_TYPE", kOpCodes, eventOp)
        .integer("TAG_DEV_ID_OLD", deviceSerialOld)
        .integer("TAG_EVT_START_SEQ", startSeq)
        .integer("TAG_EVT_END_SEQ", endSeq)
        .integer("TAG_EVT_START_TIME", startTime)
        .integer("TAG_EVT_END_TIME", endTime)
        .release();
}

bool cObjectEvent::parse(json_t* array) {
    static const JsonParseTexts texts = {"object in event parse not a JSON array",
                                         "Array size in event parse array size:%d ",
                                         "object in event parse not a JSON object "};
    // As with tags, an enum code outside its table leaves the field as it was.
    return parseJsonFields(array, texts, [this](const JsonElement& e) {
        return e.u32("TAG_EVT_SEQ", "SeqNum in event parse not a number", seqNum) &&
               e.code8("TAG_EVT_TYPE", "event type in event parse not a number", kTypeCodes,
                       eventType, eventType) &&
               e.u32("TAG_EVT_TIMESTAMP", "TimeStamp in event parse not a number", timeStamp) &&
               e.u32("TAG_DEV_ID", "DeviceSerial in event parse not a number", deviceSerial) &&
               e.u32("TAG_PORT_PNUM", "PortId in event parse not a number", portId) &&
               e.u32("TAG_EVT_OBJTYPE", "ObjectType in event parse not a number", objectType) &&
               e.code8("TAG_EVT_ALARM_STATUS", "Status in event parse not a number", kStatusCodes,
                       status, status) &&
               e.code8("TAG_EVT_OP_STATE", "OpState in event parse not a number", kOpStateCodes,
                       opState, opState) &&
               e.code8("TAG_EVT_OPERATION_TYPE", "EventOp in event parse not a number", kOpCodes,
                       eventOp, eventOp) &&
               e.u32("TAG_DEV_ID_OLD", "DeviceSerialOld in event parse not a number",
                     deviceSerialOld) &&
               e.u32("TAG_EVT_START_SEQ", "StartSeq in event parse not a number", startSeq) &&
               e.u32("TAG_EVT_END_SEQ", "EndSeq in event parse not a number", endSeq) &&
               e.u32("TAG_EVT_START_TIME", "StartTime in event parse not a number", startTime) &&
               e.u32("TAG_EVT_END_TIME", "EndTime in event parse not a number", endTime);
    });
}

bool cObjectEvent::compIndex(cObject* other) {
    cObjectEvent* e = dynamic_cast<cObjectEvent*>(other);
    return e && e->seqNum == seqNum;
}

bool cObjectEvent::operator<(cObject& other) {
    // Checked cast: another class has no sequence number to compare with.
    cObjectEvent* e = dynamic_cast<cObjectEvent*>(&other);
    return e && seqNum < e->seqNum;
}

const char* cObjectEvent::printKey() { return nullptr; }

cObject* cObjectEvent::clone() { return new cObjectEvent(this); }
