#include "dinput.h"

#include "portfields.h"

using namespace wqx;

WQX_LOG_CATEGORY(dinputLog, "cObjectDInput")

cObjectDInput::cObjectDInput()
    : cObjectPort(PORT_TYPE_DIN), inputState(IOSTATE_NOT_SET), defaultState(IOSTATE_NOT_SET) {}

cObjectDInput::cObjectDInput(cObjectDInput* source) : cObjectDInput() {
    if (!source) return;
    copyPortFields(*source);
    inputState = source->inputState;
    defaultState = source->defaultState;
}

cObjectDInput::~cObjectDInput() = default;

void cObjectDInput::setInputState(eObjectIOState v) {
    inputState = v;
    portStatus = discreteStatus(inputState, defaultState);
}

void cObjectDInput::setDefaultState(eObjectIOState v) {
    defaultState = v;
    portStatus = discreteStatus(inputState, defaultState);
}

cTagList* cObjectDInput::getTags() {
    cTagList* tags = newPointTags(15);
    addCode(*tags, 28, kPortStatusCodes, portStatus);
    addCode(*tags, 22, kOpStateCodes, portOpState);
    addCode(*tags, 17, kIOStateCodes, inputState);
    addCode(*tags, 20, kIOStateCodes, defaultState);
    addCode(*tags, 88, kToggleCodes, portToggled);
    addIfSet(*tags, 21, portLabel);
    tags->add(19, static_cast<unsigned char>(PORT_TYPE_DIN));
    return tags;
}

// The input takes the states and the status as sent: tags 17 and 20 are
// stored directly, without deriving the status, and unknown codes leave
// the fields as they were.
void cObjectDInput::populate_tags(VTag* tag) {
    switch (tag->getTag()) {
    case 17:
        inputState = static_cast<eObjectIOState>(
            valueOf(kIOStateCodes, cTagList::getUInt8(tag), inputState));
        break;
    case 19: portType = PORT_TYPE_DIN; break;
    case 20:
        defaultState = static_cast<eObjectIOState>(
            valueOf(kIOStateCodes, cTagList::getUInt8(tag), defaultState));
        break;
    case 28:
        portStatus = static_cast<eObjectStatus>(
            valueOf(kPortStatusCodes, cTagList::getUInt8(tag), portStatus));
        break;
    default:
        if (!populatePointTag(tag)) logUnknownTag(dinputLog(), tag, "Unknown Input Tag %02X(%d)");
        break;
    }
}

bool cObjectDInput::parse(VelmorObject* group, std::vector<VTag*>* msgTags) {
    return populateFrom(group, msgTags, [this](VTag* t) { populate_tags(t); });
}

json_t* cObjectDInput::getJSONObj() {
    // The operational state and the alarm status share element 5; the alarm
    // status has no code for status 3.
    return JsonFields()
        .integer("TAG_DEV_ID", deviceSerial)
        .integer("TAG_IO_PNUM", portId)
        .code("TAG_IO_DEFAULT_STATE", kIOStateCodes, defaultState)
        .code("TAG_IO_STATE", kIOStateCodes, inputState)
        .code("TAG_IO_STATUS", kOpStateCodes, portOpState)
        .join()
        .code("TAG_PORT_ALARM_STATUS", kDiscreteAlarmCodes, portStatus)
        .integer("TAG_IO_TYPE", PORT_TYPE_DIN)
        .text("TAG_IO_LABEL", portLabel)
        .integerIf("TAG_PORT_LAST_TOGGLED", true, discreteToggledJson(portToggled))
        .release();
}

bool cObjectDInput::parse(json_t* array) {
    static const JsonParseTexts texts = {"object in dinput parse not a JSON array",
                                         "Array size in dinput parse array size:%d ",
                                         "object in dinput parse not a JSON object "};
    // The alarm status is not read: the state setters derive it.
    return parseJsonFields(
        array, texts,
        [this](const JsonElement& e) {
            return e.u32("TAG_DEV_ID", "devId in dinput parse not a number", deviceSerial) &&
                   e.u32("TAG_IO_PNUM", "pNum in dinput parse not a number", portId) &&
                   e.integer("TAG_IO_DEFAULT_STATE",
                             "portDefaultState in dinput parse not a number",
                             ioStateTo(this, &cObjectDInput::setDefaultState)) &&
                   e.integer("TAG_IO_STATE", "portState in dinput parse not a number",
                             ioStateTo(this, &cObjectDInput::setInputState)) &&
                   e.code8("TAG_IO_STATUS", "portStatus in dinput parse not a number",
                           kOpStateCodes, portOpState, portOpState) &&
                   e.code8("TAG_PORT_LAST_TOGGLED", "portLastToggled in dinput parse not a number",
                           kToggleCodes, portToggled) &&
                   e.text("TAG_IO_LABEL", "portLabel in dinput parse not a string",
                          [this](const char* s) { setPortLabel(s); });
        },
        [this] { portType = PORT_TYPE_DIN; });
}

bool cObjectDInput::compIndex(cObject* other) { return samePoint(*this, other); }

bool cObjectDInput::operator<(cObject& other) { return pointLess(*this, other); }

const char* cObjectDInput::printKey() { return nullptr; }

cObject* cObjectDInput::clone() { return new cObjectDInput(this); }
