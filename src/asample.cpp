#include "asample.h"

#include <tuple>

#include "objectfields.h"

using namespace wqx;

WQX_LOG_CATEGORY(sampleLog, "cObjectAnalogSample")

cObjectAnalogSample::cObjectAnalogSample()
    : cObject(OBJ_ANALOG_SAMPLE),
      deviceSerial(kNotSet32),
      portNum(kNotSet32),
      seqNum(kNotSet32),
      sample(notSetFloat()) {}

cObjectAnalogSample::cObjectAnalogSample(cObjectAnalogSample* source) : cObjectAnalogSample() {
    if (!source) return;
    deviceSerial = source->deviceSerial;
    portNum = source->portNum;
    seqNum = source->seqNum;
    sample = source->sample;
}

cObjectAnalogSample::~cObjectAnalogSample() = default;

cTagList* cObjectAnalogSample::getTags() {
    cTagList* tags = new cTagList;
    tags->add(63);
    addIfSet(*tags, 8, deviceSerial);
    addLow8IfSet(*tags, 18, portNum);
    addLow8IfSet(*tags, 60, seqNum);
    addIfSet(*tags, 49, sample);
    return tags;
}

void cObjectAnalogSample::populate_tags(VTag* tag) {
    // Port and sequence numbers go out as 8 bits but are read whole, so a
    // peer that sends them wider is understood.
    switch (tag->getTag()) {
    case 8: deviceSerial = cTagList::getUInt32(tag); break;
    case 18: portNum = cTagList::getUInt32(tag); break;
    case 49: sample = cTagList::getFloat(tag); break;
    case 60: seqNum = cTagList::getUInt32(tag); break;
    default: logUnknownTag(sampleLog(), tag); break;
    }
}

bool cObjectAnalogSample::parse(VelmorObject* group, std::vector<VTag*>* msgTags) {
    return populateFrom(group, msgTags, [this](VTag* t) { populate_tags(t); });
}

json_t* cObjectAnalogSample::getJSONObj() {
    return JsonFields()
        .integer("TAG_DEV_ID", deviceSerial)
        .integer("TAG_IO_PNUM", portNum)
        .integer("TAG_AI_SAMPLE_SEQ", seqNum)
        .real("TAG_IO_SAMPLED_VALUE", sample)
        .release();
}

bool cObjectAnalogSample::parse(json_t* array) {
    static const JsonParseTexts texts = {"object in asample parse not a JSON array",
                                         "Array size in asample parse array size:%d ",
                                         "object in asample parse not a JSON object "};
    return parseJsonFields(array, texts, [this](const JsonElement& e) {
        return e.u32("TAG_DEV_ID", "devId in asample parse not a number", deviceSerial) &&
               e.u32("TAG_IO_PNUM", "pNum in asample parse not a number", portNum) &&
               e.u32("TAG_AI_SAMPLE_SEQ", "sampleSeq in asample parse not a number", seqNum) &&
               e.f32("TAG_IO_SAMPLED_VALUE", "sampledValue in asample parse not a number", sample);
    });
}

bool cObjectAnalogSample::compIndex(cObject* other) {
    cObjectAnalogSample* s = dynamic_cast<cObjectAnalogSample*>(other);
    return s && s->portNum == portNum && s->deviceSerial == deviceSerial && s->seqNum == seqNum;
}

bool cObjectAnalogSample::operator<(cObject& other) {
    // Checked cast: another class is never less, rather than having fields
    // it does not own read as a sample's.
    cObjectAnalogSample* s = dynamic_cast<cObjectAnalogSample*>(&other);
    return s && std::tie(deviceSerial, portNum, seqNum) <
                    std::tie(s->deviceSerial, s->portNum, s->seqNum);
}

const char* cObjectAnalogSample::printKey() { return ""; }

cObject* cObjectAnalogSample::clone() { return new cObjectAnalogSample(this); }
