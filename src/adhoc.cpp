#include "adhoc.h"

#include "objectfields.h"

using namespace wqx;

WQX_LOG_CATEGORY(adhocLog, "cObjectAdhocEvent")

cObjectAdhocEvent::cObjectAdhocEvent()
    : cObject(OBJ_ADHOC_EVENT),
      sequenceNumber(kNotSet32),
      timeStamp(kNotSet32),
      deviceSerial(kNotSet32),
      portId(kNotSet32),
      eventLabel(nullptr),
      eventValue(nullptr),
      startSeq(kNotSet32) {}

cObjectAdhocEvent::cObjectAdhocEvent(cObjectAdhocEvent* source) : cObjectAdhocEvent() {
    if (!source) return;
    sequenceNumber = source->sequenceNumber;
    timeStamp = source->timeStamp;
    deviceSerial = source->deviceSerial;
    portId = source->portId;
    startSeq = source->startSeq;
    setEventLabel(source->eventLabel);
    setEventValue(source->eventValue);
}

cObjectAdhocEvent::~cObjectAdhocEvent() {
    delete[] eventLabel;
    delete[] eventValue;
}

void cObjectAdhocEvent::setEventLabel(const char* text) { setText(eventLabel, text); }
void cObjectAdhocEvent::setEventValue(const char* text) { setText(eventValue, text); }

cTagList* cObjectAdhocEvent::getTags() {
    cTagList* tags = new cTagList;
    tags->add(175);
    addIfSet(*tags, 37, sequenceNumber);
    addIfSet(*tags, 39, timeStamp);
    addIfSet(*tags, 8, deviceSerial);
    addIfSet(*tags, 25, portId);
    addIfSet(*tags, 176, eventLabel);
    addIfSet(*tags, 177, eventValue);
    addIfSet(*tags, 44, startSeq);
    return tags;
}

void cObjectAdhocEvent::populate_tags(VTag* tag) {
    switch (tag->getTag()) {
    case 8: deviceSerial = cTagList::getUInt32(tag); break;
    case 25: portId = cTagList::getUInt32(tag); break;
    case 37: sequenceNumber = cTagList::getUInt32(tag); break;
    case 39: timeStamp = cTagList::getUInt32(tag); break;
    case 44: startSeq = cTagList::getUInt32(tag); break;
    case 176: setEventLabel(TagText(tag).c_str()); break;
    case 177: setEventValue(TagText(tag).c_str()); break;
    default: logUnknownTag(adhocLog(), tag); break;
    }
}

bool cObjectAdhocEvent::parse(VelmorObject* group, std::vector<VTag*>* msgTags) {
    return populateFrom(group, msgTags, [this](VTag* t) { populate_tags(t); });
}

json_t* cObjectAdhocEvent::getJSONObj() {
    // The event's keys for sequence, time stamp and start sequence; the port
    // goes under the I/O key as the other records write it.
    return JsonFields()
        .integer("TAG_DEV_ID", deviceSerial)
        .integer("TAG_IO_PNUM", portId)
        .integer("TAG_EVT_SEQ", sequenceNumber)
        .integer("TAG_EVT_TIMESTAMP", timeStamp)
        .text("TAG_ADHOC_LABEL", eventLabel)
        .text("TAG_ADHOC_VALUE", eventValue)
        .integer("TAG_EVT_START_SEQ", startSeq)
        .release();
}

bool cObjectAdhocEvent::parse(json_t* array) {
    // The same warning for a non-array argument and a non-object element:
    // peers match the text as it is.
    static const JsonParseTexts texts = {"object in adhoc parse not a JSON array ",
                                         "Array size in adhoc parse array size:%d ",
                                         "object in adhoc parse not a JSON array "};
    return parseJsonFields(array, texts, [this](const JsonElement& e) {
        return e.u32("TAG_DEV_ID", "devID in adhoc parse not a number", deviceSerial) &&
               e.u32("TAG_IO_PNUM", "PortId in adhoc parse not a number", portId) &&
               e.u32("TAG_EVT_SEQ", "seqNum in adhoc parse not a number", sequenceNumber) &&
               e.u32("TAG_EVT_TIMESTAMP", "TimeStamp in adhoc parse not a number", timeStamp) &&
               e.u32("TAG_EVT_START_SEQ", "startSeq in adhoc parse not a number", startSeq) &&
               e.text("TAG_ADHOC_LABEL", "Event label in adhoc parse not a string",
                      [this](const char* s) { setEventLabel(s); }) &&
               e.text("TAG_ADHOC_VALUE", "Event Value in adhoc parse not a string",
                      [this](const char* s) { setEventValue(s); });
    });
}

bool cObjectAdhocEvent::compIndex(cObject* other) {
    cObjectAdhocEvent* a = dynamic_cast<cObjectAdhocEvent*>(other);
    return a && a->sequenceNumber == sequenceNumber;
}

bool cObjectAdhocEvent::operator<(cObject& other) {
    // Checked cast: another class is never less, rather than having fields
    // it does not own read as an ad hoc event's.
    cObjectAdhocEvent* a = dynamic_cast<cObjectAdhocEvent*>(&other);
    return a && sequenceNumber < a->sequenceNumber;
}

const char* cObjectAdhocEvent::printKey() { return ""; }

cObject* cObjectAdhocEvent::clone() { return new cObjectAdhocEvent(this); }
