#include "aoutput.h"

#include "portfields.h"

using namespace wqx;

WQX_LOG_CATEGORY(aoutputLog, "cObjectAOutput")

cObjectAOutput::cObjectAOutput()
    : cObjectPort(PORT_TYPE_AOUT),
      sampledValue(notSetFloat()),
      offset(notSetFloat()),
      gain(notSetFloat()),
      outputValue(notSetFloat()),
      alarmLowWarn(notSetFloat()),
      alarmLowError(notSetFloat()),
      alarmHighWarn(notSetFloat()),
      alarmHighError(notSetFloat()),
      displayUnit(nullptr),
      maximumValue(notSetFloat()),
      minimumValue(notSetFloat()) {}

cObjectAOutput::cObjectAOutput(cObjectAOutput* source) : cObjectAOutput() {
    if (!source) return;
    copyPortFields(*source);
    sampledValue = source->sampledValue;
    offset = source->offset;
    gain = source->gain;
    outputValue = source->outputValue;
    alarmLowWarn = source->alarmLowWarn;
    alarmLowError = source->alarmLowError;
    alarmHighWarn = source->alarmHighWarn;
    alarmHighError = source->alarmHighError;
    setDisplayUnit(source->displayUnit);
    maximumValue = source->maximumValue;
    minimumValue = source->minimumValue;
}

cObjectAOutput::~cObjectAOutput() { delete[] displayUnit; }

void cObjectAOutput::setDisplayUnit(const char* unit) { setText(displayUnit, unit); }

// The thresholds and the display unit have tag numbers of their own here
// (79 to 83), not the analog input's 53 to 56 and 59.
cTagList* cObjectAOutput::getTags() {
    cTagList* tags = newPointTags(77);
    addCode(*tags, 28, kPortStatusCodes, portStatus);
    addIfSet(*tags, 21, portLabel);
    addCode(*tags, 22, kOpStateCodes, portOpState);
    addIfSet(*tags, 83, displayUnit);
    addIfSet(*tags, 49, sampledValue);
    addIfSet(*tags, 50, offset);
    addIfSet(*tags, 51, gain);
    addIfSet(*tags, 84, outputValue);
    addIfSet(*tags, 79, alarmLowWarn);
    addIfSet(*tags, 80, alarmLowError);
    addIfSet(*tags, 81, alarmHighWarn);
    addIfSet(*tags, 82, alarmHighError);
    addIfSet(*tags, 85, maximumValue);
    addIfSet(*tags, 86, minimumValue);
    addCode(*tags, 88, kToggleCodes, portToggled);
    return tags;
}

void cObjectAOutput::populate_tags(VTag* tag) {
    switch (tag->getTag()) {
    case 19: break;  // the port type tag of the discrete points: no news here
    case 28:
        portStatus = static_cast<eObjectStatus>(valueOf(kPortStatusCodes, cTagList::getUInt8(tag), 0));
        break;
    case 49: sampledValue = cTagList::getFloat(tag); break;
    case 50: offset = cTagList::getFloat(tag); break;
    case 51: gain = cTagList::getFloat(tag); break;
    case 79: alarmLowWarn = cTagList::getFloat(tag); break;
    case 80: alarmLowError = cTagList::getFloat(tag); break;
    case 81: alarmHighWarn = cTagList::getFloat(tag); break;
    case 82: alarmHighError = cTagList::getFloat(tag); break;
    case 83: setDisplayUnit(TagText(tag).c_str()); break;
    case 84: outputValue = cTagList::getFloat(tag); break;
    case 85: maximumValue = cTagList::getFloat(tag); break;
    case 86: minimumValue = cTagList::getFloat(tag); break;
    default:
        if (!populatePointTag(tag)) logUnknownTag(aoutputLog(), tag);
        break;
    }
}

bool cObjectAOutput::parse(VelmorObject* group, std::vector<VTag*>* msgTags) {
    return populateFrom(group, msgTags, [this](VTag* t) { populate_tags(t); });
}

json_t* cObjectAOutput::getJSONObj() {
    // Unlike the other I/O points, the operational state goes under
    // "TAG_PORT_STATE", as the plain port writes it, and comes last.
    return JsonFields()
        .integer("TAG_DEV_ID", deviceSerial)
        .integer("TAG_IO_PNUM", portId)
        .code("TAG_PORT_ALARM_STATUS", kPortStatusCodes, portStatus)
        .text("TAG_IO_LABEL", portLabel)
        .real("TAG_IO_SAMPLED_VALUE", sampledValue)
        .real("TAG_IO_OFFSET", offset)
        .real("TAG_IO_GAIN", gain)
        .real("TAG_AO_OUTPUT_VALUE", outputValue)
        .real("TAG_AO_ALARM_LOW_WARN", alarmLowWarn)
        .real("TAG_AO_ALARM_LOW_ERR", alarmLowError)
        .real("TAG_AO_ALARM_HIGH_WARN", alarmHighWarn)
        .real("TAG_AO_ALARM_HIGH_ERR", alarmHighError)
        .text("TAG_AO_DISPLAY_UNIT", displayUnit)
        .real("TAG_AO_MAXIMUM_VALUE", maximumValue)
        .real("TAG_AO_MINIMUM_VALUE", minimumValue)
        .code("TAG_PORT_LAST_TOGGLED", kToggleCodes, portToggled)
        .code("TAG_PORT_STATE", kOpStateCodes, portOpState)
        .release();
}

bool cObjectAOutput::parse(json_t* array) {
    static const JsonParseTexts texts = {"object in aoutput parse not a JSON array",
                                         "Array size in aoutput parse array size:%d ",
                                         "object in aoutput parse not a JSON array "};
    // An unknown operational state code clears the state here, where the
    // tag reader keeps it.
    return parseJsonFields(array, texts, [this](const JsonElement& e) {
        return e.u32("TAG_DEV_ID", "devId in aoutput parse not a number", deviceSerial) &&
               e.u32("TAG_IO_PNUM", "pNum in aoutput parse not a number", portId) &&
               e.text("TAG_IO_LABEL", "Port Label in aoutput parse not a string",
                      [this](const char* s) { setPortLabel(s); }) &&
               e.code8("TAG_PORT_ALARM_STATUS", "alarmStatus in aoutput parse not a number",
                       kPortStatusCodes, portStatus) &&
               e.f32("TAG_IO_SAMPLED_VALUE", "sampledValue in aoutput parse not a number",
                     sampledValue) &&
               e.f32("TAG_IO_OFFSET", "offset in aoutput parse not a number", offset) &&
               e.f32("TAG_IO_GAIN", "gain in aoutput parse not a number", gain) &&
               e.f32("TAG_AO_OUTPUT_VALUE", "outputValue in aoutput parse not a number",
                     outputValue) &&
               e.f32("TAG_AO_ALARM_LOW_WARN", "alarmLowWarn in aoutput parse not a number",
                     alarmLowWarn) &&
               e.f32("TAG_AO_ALARM_LOW_ERR", "alarmLowErr in aoutput parse not a number",
                     alarmLowError) &&
               e.f32("TAG_AO_ALARM_HIGH_WARN", "alarmHighWarn in aoutput parse not a number",
                     alarmHighWarn) &&
               e.f32("TAG_AO_ALARM_HIGH_ERR", "alarmHighErr in aoutput parse not a number",
                     alarmHighError) &&
               e.text("TAG_AO_DISPLAY_UNIT", "displayUnit in aoutput parse not a string",
                      [this](const char* s) { setDisplayUnit(s); }) &&
               e.f32("TAG_AO_MAXIMUM_VALUE", "maxValue in aoutput parse not a number",
                     maximumValue) &&
               e.f32("TAG_AO_MINIMUM_VALUE", "minValue in aoutput parse not a number",
                     minimumValue) &&
               e.code8("TAG_PORT_LAST_TOGGLED", "alarmStatus in aoutput parse not a number",
                       kToggleCodes, portToggled) &&
               e.code8("TAG_PORT_STATE", "portState in port parse not a number", kOpStateCodes,
                       portOpState);
    });
}

bool cObjectAOutput::compIndex(cObject* other) { return samePoint(*this, other); }

bool cObjectAOutput::operator<(cObject& other) { return pointLess(*this, other); }

const char* cObjectAOutput::printKey() { return nullptr; }

cObject* cObjectAOutput::clone() { return new cObjectAOutput(this); }
