#include "doutput.h"

#include "portfields.h"

using namespace wqx;

WQX_LOG_CATEGORY(doutputLog, "cObjectDOutput")

cObjectDOutput::cObjectDOutput()
    : cObjectPort(PORT_TYPE_DOUT), outputState(IOSTATE_NOT_SET), defaultState(IOSTATE_NOT_SET) {}

cObjectDOutput::cObjectDOutput(cObjectDOutput* source) : cObjectDOutput() {
    if (!source) return;
    copyPortFields(*source);
    outputState = source->outputState;
    defaultState = source->defaultState;
}

cObjectDOutput::~cObjectDOutput() = default;

void cObjectDOutput::setOutputState(eObjectIOState v) {
    outputState = v;
    portStatus = discreteStatus(outputState, defaultState);
}

void cObjectDOutput::setDefaultState(eObjectIOState v) {
    defaultState = v;
    portStatus = discreteStatus(outputState, defaultState);
}

// The status goes out before the states, so a reader taking the group in
// order ends with the status derived from the states whenever they travel.
cTagList* cObjectDOutput::getTags() {
    cTagList* tags = newPointTags(16);
    addCode(*tags, 22, kOpStateCodes, portOpState);
    addCode(*tags, 28, kPortStatusCodes, portStatus);
    addCode(*tags, 17, kIOStateCodes, outputState);
    addCode(*tags, 20, kIOStateCodes, defaultState);
    addCode(*tags, 88, kToggleCodes, portToggled);
    addIfSet(*tags, 21, portLabel);
    tags->add(19, static_cast<unsigned char>(PORT_TYPE_DOUT));
    return tags;
}

// Unlike the input, the states go through their setters (deriving the
// status), the label also comes as tag 26, and an unknown status code
// clears the status.
void cObjectDOutput::populate_tags(VTag* tag) {
    switch (tag->getTag()) {
    case 17: ioStateTo(this, &cObjectDOutput::setOutputState)(cTagList::getUInt8(tag)); break;
    case 19: portType = PORT_TYPE_DOUT; break;
    case 20: ioStateTo(this, &cObjectDOutput::setDefaultState)(cTagList::getUInt8(tag)); break;
    case 26: setPortLabel(TagText(tag).c_str()); break;
    case 28:
        portStatus = static_cast<eObjectStatus>(valueOf(kPortStatusCodes, cTagList::getUInt8(tag), 0));
        break;
    default:
        if (!populatePointTag(tag)) logUnknownTag(doutputLog(), tag, "Unknown Tag: %02X(%d)");
        break;
    }
}

bool cObjectDOutput::parse(VelmorObject* group, std::vector<VTag*>* msgTags) {
    return populateFrom(group, msgTags, [this](VTag* t) { populate_tags(t); });
}

json_t* cObjectDOutput::getJSONObj() {
    // Unlike the input, the alarm status has an element of its own; it has
    // no code for status 3 either.
    return JsonFields()
        .integer("TAG_DEV_ID", deviceSerial)
        .integer("TAG_IO_PNUM", portId)
        .code("TAG_IO_DEFAULT_STATE", kIOStateCodes, defaultState)
        .code("TAG_IO_STATE", kIOStateCodes, outputState)
        .code("TAG_IO_STATUS", kOpStateCodes, portOpState)
        .code("TAG_PORT_ALARM_STATUS", kDiscreteAlarmCodes, portStatus)
        .integer("TAG_IO_TYPE", PORT_TYPE_DOUT)
        .text("TAG_IO_LABEL", portLabel)
        .integerIf("TAG_PORT_LAST_TOGGLED", true, discreteToggledJson(portToggled))
        .release();
}

bool cObjectDOutput::parse(json_t* array) {
    static const JsonParseTexts texts = {"object in doutput parse not a JSON array",
                                         "Array size in doutput parse array size:%d ",
                                         "object in doutput parse not a JSON object "};
    // The alarm status is read after the states, so a written status wins
    // over the one the setters derive.
    return parseJsonFields(
        array, texts,
        [this](const JsonElement& e) {
            return e.u32("TAG_DEV_ID", "devId in doutput parse not a number", deviceSerial) &&
                   e.u32("TAG_IO_PNUM", "pNum in doutput parse not a number", portId) &&
                   e.integer("TAG_IO_DEFAULT_STATE",
                             "portDefaultState in doutput parse not a number",
                             ioStateTo(this, &cObjectDOutput::setDefaultState)) &&
                   e.integer("TAG_IO_STATE", "portState in doutput parse not a number",
                             ioStateTo(this, &cObjectDOutput::setOutputState)) &&
                   e.code8("TAG_IO_STATUS", "portStatus in doutput parse not a number",
                           kOpStateCodes, portOpState, portOpState) &&
                   e.code8("TAG_PORT_ALARM_STATUS", "portAlarmStatus in doutput parse not a number",
                           kPortStatusCodes, portStatus) &&
                   e.code8("TAG_PORT_LAST_TOGGLED",
                           "portLastToggled in doutput parse not a number", kToggleCodes,
                           portToggled) &&
                   e.text("TAG_IO_LABEL", "portLabel in doutput parse not a string",
                          [this](const char* s) { setPortLabel(s); });
        },
        [this] { portType = PORT_TYPE_DOUT; });
}

bool cObjectDOutput::compIndex(cObject* other) { return samePoint(*this, other); }

bool cObjectDOutput::operator<(cObject& other) { return pointLess(*this, other); }

const char* cObjectDOutput::printKey() { return nullptr; }

cObject* cObjectDOutput::clone() { return new cObjectDOutput(this); }
