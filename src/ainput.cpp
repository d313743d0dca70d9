#include "ainput.h"

#include "portfields.h"

using namespace wqx;

WQX_LOG_CATEGORY(ainputLog, "cObjectAInput")

namespace {

// The kinds of input travel as their own numbers; anything else reads as 0.
const CodePair kInputTypeCodes[] = {{1, 1}, {2, 2}, {3, 3}};

}  // namespace

cObjectAInput::cObjectAInput()
    : cObjectPort(PORT_TYPE_AIN),
      sampledValue(notSetFloat()),
      offset(notSetFloat()),
      gain(notSetFloat()),
      calculatedValue(notSetFloat()),
      alarmLowWarn(notSetFloat()),
      alarmLowError(notSetFloat()),
      alarmHighWarn(notSetFloat()),
      alarmHighError(notSetFloat()),
      sampleRate(kNotSet32),
      reportRate(kNotSet32),
      displayUnit(nullptr),
      lastSampleSeq(0),
      sampleCounter(0),
      acceptableNoise(notSetFloat()),
      analogInputType(AI_TYPE_NOT_SET) {}

cObjectAInput::cObjectAInput(cObjectAInput* source) : cObjectAInput() {
    if (!source) return;
    copyPortFields(*source);
    sampledValue = source->sampledValue;
    offset = source->offset;
    gain = source->gain;
    calculatedValue = source->calculatedValue;
    alarmLowWarn = source->alarmLowWarn;
    alarmLowError = source->alarmLowError;
    alarmHighWarn = source->alarmHighWarn;
    alarmHighError = source->alarmHighError;
    sampleRate = source->sampleRate;
    reportRate = source->reportRate;
    setDisplayUnit(source->displayUnit);
    lastSampleSeq = source->lastSampleSeq;
    sampleCounter = source->sampleCounter;
    acceptableNoise = source->acceptableNoise;
    analogInputType = source->analogInputType;
}

cObjectAInput::~cObjectAInput() { delete[] displayUnit; }

void cObjectAInput::setDisplayUnit(const char* unit) { setText(displayUnit, unit); }

// The last sample sequence is only ever received (tag 60), never sent.
cTagList* cObjectAInput::getTags() {
    cTagList* tags = newPointTags(48);
    addCode(*tags, 28, kPortStatusCodes, portStatus);
    addCode(*tags, 22, kOpStateCodes, portOpState);
    addIfSet(*tags, 21, portLabel);
    addIfSet(*tags, 59, displayUnit);
    addIfSet(*tags, 49, sampledValue);
    addIfSet(*tags, 50, offset);
    addIfSet(*tags, 51, gain);
    addIfSet(*tags, 52, calculatedValue);
    addIfSet(*tags, 53, alarmLowWarn);
    addIfSet(*tags, 54, alarmLowError);
    addIfSet(*tags, 55, alarmHighWarn);
    addIfSet(*tags, 56, alarmHighError);
    addIfSet(*tags, 57, sampleRate);
    addIfSet(*tags, 58, reportRate);
    addIfSet(*tags, 75, acceptableNoise);
    addCode(*tags, 76, kInputTypeCodes, analogInputType);
    addCode(*tags, 88, kToggleCodes, portToggled);
    return tags;
}

void cObjectAInput::populate_tags(VTag* tag) {
    switch (tag->getTag()) {
    case 19: break;  // the port type tag of the discrete points: no news here
    case 28:
        portStatus = static_cast<eObjectStatus>(valueOf(kPortStatusCodes, cTagList::getUInt8(tag), 0));
        break;
    case 49: sampledValue = cTagList::getFloat(tag); break;
    case 50: offset = cTagList::getFloat(tag); break;
    case 51: gain = cTagList::getFloat(tag); break;
    case 52: calculatedValue = cTagList::getFloat(tag); break;
    case 53: alarmLowWarn = cTagList::getFloat(tag); break;
    case 54: alarmLowError = cTagList::getFloat(tag); break;
    case 55: alarmHighWarn = cTagList::getFloat(tag); break;
    case 56: alarmHighError = cTagList::getFloat(tag); break;
    case 57: sampleRate = cTagList::getUInt32(tag); break;
    case 58: reportRate = cTagList::getUInt32(tag); break;
    case 59: setDisplayUnit(TagText(tag).c_str()); break;
    case 60: lastSampleSeq = cTagList::getUInt32(tag); break;
    case 75: acceptableNoise = cTagList::getFloat(tag); break;
    case 76:
        analogInputType = static_cast<eAnalogInputType>(
            valueOf(kInputTypeCodes, cTagList::getUInt8(tag), AI_TYPE_NOT_SET));
        break;
    default:
        if (!populatePointTag(tag)) logUnknownTag(ainputLog(), tag);
        break;
    }
}

bool cObjectAInput::parse(VelmorObject* group, std::vector<VTag*>* msgTags) {
    return populateFrom(group, msgTags, [this](VTag* t) { populate_tags(t); });
}

json_t* cObjectAInput::getJSONObj() {
    // The operational state goes under "TAG_IO_STATUS"; the input type is
    // written as stored, 0 included.
    return JsonFields()
        .integer("TAG_DEV_ID", deviceSerial)
        .integer("TAG_IO_PNUM", portId)
        .code("TAG_PORT_ALARM_STATUS", kPortStatusCodes, portStatus)
        .code("TAG_IO_STATUS", kOpStateCodes, portOpState)
        .text("TAG_IO_LABEL", portLabel)
        .real("TAG_IO_SAMPLED_VALUE", sampledValue)
        .real("TAG_IO_OFFSET", offset)
        .real("TAG_IO_GAIN", gain)
        .real("TAG_AI_CALCULATED_VALUE", calculatedValue)
        .real("TAG_AI_ALARM_LOW_WARN", alarmLowWarn)
        .real("TAG_AI_ALARM_LOW_ERR", alarmLowError)
        .real("TAG_AI_ALARM_HIGH_WARN", alarmHighWarn)
        .real("TAG_AI_ALARM_HIGH_ERR", alarmHighError)
        .integer("TAG_AI_SAMPLE_RATE", sampleRate)
        .integer("TAG_AI_REPORT_RATE", reportRate)
        .text("TAG_AI_DISPLAY_UNIT", displayUnit)
        .integer("TAG_AI_SAMPLE_SEQ", lastSampleSeq)
        .real("TAG_AI_ACCEPTABLE_NOISE", acceptableNoise)
        .integer("TAG_AI_TYPE", analogInputType)
        .code("TAG_PORT_LAST_TOGGLED", kToggleCodes, portToggled)
        .release();
}

bool cObjectAInput::parse(json_t* array) {
    static const JsonParseTexts texts = {"object in ainput parse not a JSON array",
                                         "Array size in ainput parse array size:%d ",
                                         "object in access parse not a JSON array "};
    return parseJsonFields(array, texts, [this](const JsonElement& e) {
        return e.u32("TAG_DEV_ID", "devId in ainput parse not a number", deviceSerial) &&
               e.u32("TAG_IO_PNUM", "pNum in ainput parse not a number", portId) &&
               e.text("TAG_IO_LABEL", "portLabel in ainput parse not a string",
                      [this](const char* s) { setPortLabel(s); }) &&
               e.code8("TAG_PORT_ALARM_STATUS", "alarmStatus in ainput parse not a number",
                       kPortStatusCodes, portStatus) &&
               // Unlike every other enumerated key, the operational state is
               // mapped from the integer's low 32 bits, not its low 8.
               e.integer("TAG_IO_STATUS", "portStatus in ainput parse not a number",
                         [this](json_int_t v) {
                             portOpState = static_cast<eObjectOpState>(valueOf(
                                 kOpStateCodes, static_cast<int>(static_cast<unsigned int>(v)),
                                 portOpState));
                         }) &&
               e.f32("TAG_IO_SAMPLED_VALUE", "sampledValue in ainput parse not a number",
                     sampledValue) &&
               e.f32("TAG_IO_OFFSET", "offset in ainput parse not a number", offset) &&
               e.f32("TAG_IO_GAIN", "gain in ainput parse not a number", gain) &&
               e.f32("TAG_AI_CALCULATED_VALUE", "calculatedValue in ainput parse not a number",
                     calculatedValue) &&
               e.f32("TAG_AI_ALARM_LOW_WARN", "alarmLowWarn in ainput parse not a number",
                     alarmLowWarn) &&
               e.f32("TAG_AI_ALARM_LOW_ERR", "alarmLowErr in ainput parse not a number",
                     alarmLowError) &&
               e.f32("TAG_AI_ALARM_HIGH_WARN", "alarmHighWarn in ainput parse not a number",
                     alarmHighWarn) &&
               e.f32("TAG_AI_ALARM_HIGH_ERR", "alarmHighErr in ainput parse not a number",
                     alarmHighError) &&
               e.u32("TAG_AI_SAMPLE_RATE", "sampleRate in ainput parse not a number",
                     sampleRate) &&
               e.u32("TAG_AI_REPORT_RATE", "reportRate in ainput parse not a number",
                     reportRate) &&
               e.text("TAG_AI_DISPLAY_UNIT", "displayUnit in ainput parse not a string",
                      [this](const char* s) { setDisplayUnit(s); }) &&
               e.u32("TAG_AI_SAMPLE_SEQ", "sampleSeq in ainput parse not a number",
                     lastSampleSeq) &&
               e.f32("TAG_AI_ACCEPTABLE_NOISE", "acceptableNoise in ainput parse not a number",
                     acceptableNoise) &&
               e.code8("TAG_AI_TYPE", "type in ainput parse not a number", kInputTypeCodes,
                       analogInputType) &&
               e.code8("TAG_PORT_LAST_TOGGLED", "alarmStatus in aoutput parse not a number",
                       kToggleCodes, portToggled);
    });
}

bool cObjectAInput::compIndex(cObject* other) { return samePoint(*this, other); }

bool cObjectAInput::operator<(cObject& other) { return pointLess(*this, other); }

const char* cObjectAInput::printKey() { return nullptr; }

cObject* cObjectAInput::clone() { return new cObjectAInput(this); }
